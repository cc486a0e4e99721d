// Failures of the DVD reader: one of its fixed messages, with what libdvdread said meanwhile.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zembra::dvd {

inline constexpr const char* kCanNotOpenDvd = "Can not open DVD";
inline constexpr const char* kCanNotOpenTitle = "Can not open title";
inline constexpr const char* kCanNotStartChapter = "Can not start chapter";
// Without libdvdcss (Debian does not ship it) a CSS-encrypted disc reads as scrambled data.
inline constexpr const char* kEncryptedDvd = "Can not open encrypted DVD";

class DvdError : public std::runtime_error {
 public:
  explicit DvdError(const char* message, std::vector<std::string> library_log = {})
      : std::runtime_error(message), library_log_(std::move(library_log)) {}
  // libdvdread's messages up to the failure, for diagnostics.
  const std::vector<std::string>& library_log() const { return library_log_; }

 private:
  std::vector<std::string> library_log_;
};

}  // namespace zembra::dvd
