// Reads a media file back with the independent ffprobe tool.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace zembra::testing {

// Flat "section.key" -> value pairs, e.g. "streams.stream.0.codec_name" -> "h264",
// "format.duration" -> "2.000000". Frames are counted (nb_read_frames).
class Probe {
 public:
  explicit Probe(const std::string& file, bool count_frames = true) {
    const std::string command =
        std::string("ffprobe -v error ") + (count_frames ? "-count_frames " : "") +
        "-show_entries stream=index,codec_name,codec_type,width,height,pix_fmt,r_frame_rate,"
        "avg_frame_rate,sample_rate,channels,nb_read_frames,duration,start_time,codec_tag_string:"
        "stream_disposition=attached_pic:format=format_name,duration,start_time:"
        "chapter=start_time,end_time -of flat '" +
        file + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return;
    std::array<char, 4096> line{};
    while (std::fgets(line.data(), line.size(), pipe.get()) != nullptr) {
      std::string text(line.data());
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      const auto equals = text.find('=');
      if (equals == std::string::npos) continue;
      std::string value = text.substr(equals + 1);
      if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
      values_[text.substr(0, equals)] = value;
    }
  }

  std::string Get(const std::string& key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? std::string() : it->second;
  }
  std::string Stream(int index, const std::string& key) const {
    return Get("streams.stream." + std::to_string(index) + "." + key);
  }
  double StreamNumber(int index, const std::string& key) const {
    const std::string text = Stream(index, key);
    return text.empty() || text == "N/A" ? -1 : std::stod(text);
  }
  int StreamCount() const {
    int count = 0;
    while (!Stream(count, "codec_type").empty()) ++count;
    return count;
  }
  // The index of the first stream of `type` ("video", "audio", "subtitle"), or -1.
  int Find(const std::string& type) const {
    for (int i = 0; i < StreamCount(); ++i) {
      if (Stream(i, "codec_type") == type) return i;
    }
    return -1;
  }
  double Duration() const {
    const std::string text = Get("format.duration");
    return text.empty() || text == "N/A" ? -1 : std::stod(text);
  }
  const std::map<std::string, std::string>& Values() const { return values_; }

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace zembra::testing
