// zembra-cli: the command-line front end.
//
// For now it answers `version`: the program's version, the media libraries it loaded at run
// time with their versions, and the encoders and muxers they offer.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "media/media_loader.h"
#include "zembra_version.h"

namespace {

using zembra::media::ff;
using zembra::media::MediaLibrary;

std::string VersionText(unsigned version) {
  return std::to_string(AV_VERSION_MAJOR(version)) + "." +
         std::to_string(AV_VERSION_MINOR(version)) + "." +
         std::to_string(AV_VERSION_MICRO(version));
}

char KindLetter(AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      return 'V';
    case AVMEDIA_TYPE_AUDIO:
      return 'A';
    case AVMEDIA_TYPE_SUBTITLE:
      return 'S';
    default:
      return '.';
  }
}

void PrintLibraries() {
  struct Row {
    MediaLibrary library;
    unsigned (*version)();
  };
  const Row rows[] = {
      {MediaLibrary::AvUtil, ff.avutil_version},
      {MediaLibrary::SwResample, ff.swresample_version},
      {MediaLibrary::SwScale, ff.swscale_version},
      {MediaLibrary::AvCodec, ff.avcodec_version},
      {MediaLibrary::AvFormat, ff.avformat_version},
      {MediaLibrary::AvFilter, ff.avfilter_version},
      {MediaLibrary::AvDevice, ff.avdevice_version},
  };
  std::printf("Media libraries (FFmpeg %s):\n", ff.av_version_info());
  for (const Row& row : rows) {
    const std::string_view soname = zembra::media::LibrarySoname(row.library);
    std::printf("  %-20.*s %s\n", static_cast<int>(soname.size()), soname.data(),
                VersionText(row.version()).c_str());
  }
}

void PrintEncoders() {
  std::printf("\nEncoders:\n");
  void* iterator = nullptr;
  while (const AVCodec* codec = ff.av_codec_iterate(&iterator)) {
    if (!ff.av_codec_is_encoder(codec)) continue;
    std::printf("  %c %-24s %s\n", KindLetter(codec->type), codec->name,
                codec->long_name ? codec->long_name : "");
  }
}

void PrintMuxers() {
  std::printf("\nMuxers:\n");
  void* iterator = nullptr;
  while (const AVOutputFormat* format = ff.av_muxer_iterate(&iterator)) {
    std::printf("  %-24s %s\n", format->name, format->long_name ? format->long_name : "");
  }
}

int Version() {
  std::printf("Zembra %s\n\n", ZEMBRA_VERSION_TEXT);
  zembra::media::LoadMediaLibraries();
  PrintLibraries();
  PrintEncoders();
  PrintMuxers();
  return 0;
}

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: zembra-cli version\n"
               "  version   the program's version, the media libraries, encoders and muxers\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string_view command = argv[1];
  try {
    if (command == "version") return Version();
    if (command == "help" || command == "--help" || command == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    std::fprintf(stderr, "zembra-cli: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zembra-cli: %s\n", error.what());
    return 1;
  }
}
