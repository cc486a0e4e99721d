// Errors carrying an FFmpeg return code.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zembra::media {

// The library's own text for an error code ("Invalid data found when processing input").
// Works before the libraries are loaded, with a plainer text.
std::string ErrorText(int code);

// An FFmpeg call failed. what() is "<context>: <library text>"; code() the negative AVERROR.
class AvError : public std::runtime_error {
 public:
  AvError(int code, std::string_view context);
  int code() const noexcept { return code_; }

 private:
  int code_;
};

// Throws AvError when `result` is negative; otherwise returns it.
int Check(int result, std::string_view context);

}  // namespace zembra::media
