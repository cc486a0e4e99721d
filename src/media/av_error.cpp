#include "media/av_error.h"

#include <array>

#include "media/media_loader.h"

namespace zembra::media {

std::string ErrorText(int code) {
  if (ff.av_strerror != nullptr) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> buffer{};
    if (ff.av_strerror(code, buffer.data(), buffer.size()) == 0) return buffer.data();
  }
  return "error " + std::to_string(code);
}

AvError::AvError(int code, std::string_view context)
    : std::runtime_error(std::string(context) + ": " + ErrorText(code)), code_(code) {}

int Check(int result, std::string_view context) {
  if (result < 0) throw AvError(result, context);
  return result;
}

}  // namespace zembra::media
