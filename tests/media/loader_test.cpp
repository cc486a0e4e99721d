#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "media/media_loader.h"
#include "support/report_capture.h"

namespace zembra::media {
namespace {

namespace fs = std::filesystem;

constexpr MediaLibrary kAll[] = {
    MediaLibrary::AvUtil,   MediaLibrary::SwResample, MediaLibrary::SwScale,  MediaLibrary::AvCodec,
    MediaLibrary::AvFormat, MediaLibrary::AvFilter,   MediaLibrary::AvDevice,
};

// A private library folder holding links to the installed media libraries, so a test can
// leave one out or put a different file in its place. ZEMBRA_MEDIA_LIBDIR points at it.
class LibraryFolder {
 public:
  LibraryFolder() {
    std::string pattern = (fs::temp_directory_path() / "zembra-libdir-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    setenv("ZEMBRA_MEDIA_LIBDIR", path_.c_str(), 1);
  }
  ~LibraryFolder() {
    unsetenv("ZEMBRA_MEDIA_LIBDIR");
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }

  void Supply(MediaLibrary library) {
    const std::string soname(LibrarySoname(library));
    fs::create_symlink(fs::path(ZEMBRA_TEST_SYSTEM_MEDIA_LIBDIR) / soname, path_ / soname);
  }
  void SupplyFile(MediaLibrary library, const fs::path& file) {
    fs::copy_file(file, path_ / std::string(LibrarySoname(library)));
  }

 private:
  fs::path path_;
};

void ExpectLoaded(std::initializer_list<MediaLibrary> loaded) {
  for (MediaLibrary library : kAll) {
    const bool expected = std::find(loaded.begin(), loaded.end(), library) != loaded.end();
    EXPECT_EQ(IsLibraryLoaded(library), expected) << LibrarySoname(library);
  }
}

std::string LoadError() {
  try {
    LoadMediaLibraries();
  } catch (const MediaLoadError& error) {
    return error.what();
  }
  return "no error";
}

TEST(MediaLoader, SonamesFollowTheHeadersTheBuildUsed) {
  EXPECT_EQ(LibrarySoname(MediaLibrary::AvUtil), "libavutil.so.57");
  EXPECT_EQ(LibrarySoname(MediaLibrary::SwResample), "libswresample.so.4");
  EXPECT_EQ(LibrarySoname(MediaLibrary::SwScale), "libswscale.so.6");
  EXPECT_EQ(LibrarySoname(MediaLibrary::AvCodec), "libavcodec.so.59");
  EXPECT_EQ(LibrarySoname(MediaLibrary::AvFormat), "libavformat.so.59");
  EXPECT_EQ(LibrarySoname(MediaLibrary::AvFilter), "libavfilter.so.8");
  EXPECT_EQ(LibrarySoname(MediaLibrary::AvDevice), "libavdevice.so.59");
}

TEST(MediaLoader, SecondLoadLoadsAndRegistersNothingMore) {
  UnloadMediaLibraries();
  const int registrations = RegistrationCount();

  LoadMediaLibraries();
  EXPECT_TRUE(MediaLibrariesReady());
  ExpectLoaded({MediaLibrary::AvUtil, MediaLibrary::SwResample, MediaLibrary::SwScale,
                MediaLibrary::AvCodec, MediaLibrary::AvFormat, MediaLibrary::AvFilter,
                MediaLibrary::AvDevice});
  EXPECT_EQ(RegistrationCount(), registrations + 1);
  EXPECT_EQ(AV_VERSION_MAJOR(ff.avformat_version()), LIBAVFORMAT_VERSION_MAJOR);

  LoadMediaLibraries();
  EXPECT_EQ(RegistrationCount(), registrations + 1);

  // Output devices join the muxer list only through the registration block.
  bool has_output_device = false;
  void* iterator = nullptr;
  while (const AVOutputFormat* format = ff.av_muxer_iterate(&iterator)) {
    for (const char* device : {"alsa", "pulse", "fbdev", "v4l2", "oss"}) {
      has_output_device |= std::string(format->name) == device;
    }
  }
  EXPECT_TRUE(has_output_device);
}

TEST(MediaLoader, HiddenLibraryStopsTheLoadAndTheNextLoadCarriesOn) {
  UnloadMediaLibraries();
  const int registrations = RegistrationCount();
  testing::ReportCapture reports;
  LibraryFolder folder;
  for (MediaLibrary library : kAll) {
    if (library != MediaLibrary::AvFormat) folder.Supply(library);
  }

  EXPECT_EQ(LoadError(), "Can not load libavformat.so.59");
  ExpectLoaded({MediaLibrary::AvUtil, MediaLibrary::SwResample, MediaLibrary::SwScale,
                MediaLibrary::AvCodec});
  EXPECT_FALSE(MediaLibrariesReady());
  EXPECT_EQ(RegistrationCount(), registrations);
  EXPECT_NE(ff.avcodec_version, nullptr);
  EXPECT_EQ(ff.avformat_version, nullptr);
  ASSERT_EQ(reports.diagnostics.size(), 1U);
  EXPECT_NE(reports.diagnostics[0].find("libavformat.so.59"), std::string::npos);

  // Still missing: the same answer, and nothing before it is loaded twice.
  EXPECT_EQ(LoadError(), "Can not load libavformat.so.59");
  EXPECT_EQ(RegistrationCount(), registrations);

  folder.Supply(MediaLibrary::AvFormat);
  EXPECT_EQ(LoadError(), "no error");
  ExpectLoaded({MediaLibrary::AvUtil, MediaLibrary::SwResample, MediaLibrary::SwScale,
                MediaLibrary::AvCodec, MediaLibrary::AvFormat, MediaLibrary::AvFilter,
                MediaLibrary::AvDevice});
  EXPECT_EQ(RegistrationCount(), registrations + 1);
  EXPECT_NE(ff.avformat_version, nullptr);
  EXPECT_NE(ff.avdevice_register_all, nullptr);
}

TEST(MediaLoader, LibraryMissingAListedFunctionIsRefusedAtLoad) {
  UnloadMediaLibraries();
  const int registrations = RegistrationCount();
  testing::ReportCapture reports;
  LibraryFolder folder;
  for (MediaLibrary library : kAll) {
    if (library != MediaLibrary::AvDevice) folder.Supply(library);
  }
  folder.SupplyFile(MediaLibrary::AvDevice, ZEMBRA_TEST_FAKE_AVDEVICE);

  EXPECT_EQ(LoadError(), "Can not load libavdevice.so.59");
  EXPECT_FALSE(IsLibraryLoaded(MediaLibrary::AvDevice));
  EXPECT_TRUE(IsLibraryLoaded(MediaLibrary::AvFilter));
  EXPECT_EQ(RegistrationCount(), registrations);
  // No half-bound library: what it did export is not left behind either.
  EXPECT_EQ(ff.avdevice_version, nullptr);
  ASSERT_EQ(reports.diagnostics.size(), 1U);
  EXPECT_EQ(reports.diagnostics[0], "libavdevice.so.59: missing function avdevice_register_all");
}

TEST(MediaLoader, UnloadClearsEverythingAndTheNextLoadRegistersAgain) {
  UnloadMediaLibraries();
  UnloadMediaLibraries();  // nothing loaded: nothing happens
  ExpectLoaded({});
  const int registrations = RegistrationCount();

  LoadMediaLibraries();
  ASSERT_EQ(RegistrationCount(), registrations + 1);
  UnloadMediaLibraries();
  ExpectLoaded({});
  EXPECT_FALSE(MediaLibrariesReady());
  EXPECT_EQ(ff.avutil_version, nullptr);
  EXPECT_EQ(ff.avcodec_version, nullptr);
  EXPECT_EQ(ff.avdevice_register_all, nullptr);
  UnloadMediaLibraries();  // second unload finds nothing to do
  ExpectLoaded({});

  LoadMediaLibraries();
  EXPECT_EQ(RegistrationCount(), registrations + 2);
  EXPECT_NE(ff.avcodec_version, nullptr);
}

std::vector<std::string> logged_lines;

void RecordingLogCallback(void*, int level, const char* format, va_list args) {
  if (level > AV_LOG_WARNING) return;
  char line[256];
  std::vsnprintf(line, sizeof line, format, args);
  logged_lines.emplace_back(line);
}

TEST(MediaLoader, RegistrationInstallsTheLogCallback) {
  UnloadMediaLibraries();
  logged_lines.clear();
  SetMediaLogCallback(RecordingLogCallback);
  LoadMediaLibraries();
  ff.av_log(nullptr, AV_LOG_ERROR, "routed %d\n", 7);
  ASSERT_EQ(logged_lines.size(), 1U);
  EXPECT_EQ(logged_lines[0], "routed 7\n");

  // Withdrawn while loaded: the libraries' own callback is back at once.
  SetMediaLogCallback(nullptr);
  ff.av_log_set_level(AV_LOG_QUIET);
  ff.av_log(nullptr, AV_LOG_ERROR, "not routed\n");
  EXPECT_EQ(logged_lines.size(), 1U);
}

}  // namespace
}  // namespace zembra::media
