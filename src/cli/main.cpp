// zembra-cli: the command-line front end (see cli/arguments.h for its interface).
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/dvd_command.h"
#include "cli/profiles_command.h"
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

}  // namespace

int main(int argc, char** argv) {
  using namespace zembra::cli;
  try {
    const Request request = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    switch (request.command) {
      case Command::kSample:
        return RunSample();
      case Command::kConvert:
        return RunConvert(request);
      case Command::kProbe:
        return RunProbe(request);
      case Command::kProfiles:
        return RunProfiles(request);
      case Command::kDvd:
        return RunDvd(request);
      case Command::kVersion:
        return Version();
      case Command::kHelp:
        std::fputs(kUsage, stdout);
        return kExitCompleted;
    }
  } catch (const UsageError& error) {
    std::fprintf(stderr, "zembra-cli: %s\n%s", error.message.c_str(), kUsage);
    return kExitUsage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zembra-cli: %s\n", error.what());
    return kExitFailed;
  }
  return kExitFailed;
}
