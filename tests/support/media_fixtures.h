// Media made at test time with the ffmpeg command-line tool, in a folder removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zembra::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zembra-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Runs `ffmpeg <arguments> <output>` quietly; the test fails with the command when it fails.
inline std::string MakeMedia(const TempFolder& folder, const std::string& name,
                             const std::string& arguments) {
  const std::string output = folder.File(name);
  const std::string command =
      "ffmpeg -nostdin -y -hide_banner -loglevel error " + arguments + " '" + output + "' 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_EQ(status, 0) << "fixture command failed (is ffmpeg installed?): " << command;
  return output;
}

// A few seconds of test picture (320x240, 25 fps, a key frame every 5) and a mono tone, in the
// container `name` names. `more_inputs` come after the two, `output_options` before the name.
inline std::string MakeTestClip(const TempFolder& folder, const std::string& name,
                                double seconds = 2.0, const std::string& more_inputs = "",
                                const std::string& output_options = "") {
  const std::string length = std::to_string(seconds);
  return MakeMedia(folder, name,
                   "-f lavfi -i testsrc=size=320x240:rate=25:duration=" + length +
                       " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + length +
                       " " + more_inputs + " -pix_fmt yuv420p -g 5 " + output_options);
}

// The whole content of a file (empty when it cannot be read).
inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(std::max<std::streamoff>(0, file.tellg())));
  file.seekg(0);
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

inline std::string WriteTextFile(const TempFolder& folder, const std::string& name,
                                 const std::string& text) {
  const std::string path = folder.File(name);
  std::ofstream(path) << text;
  return path;
}

}  // namespace zembra::testing
