// ConvertThreads: which converter each running worker thread belongs to.
//
// The media libraries call the log callback with no user context; the callback asks this
// registry which converter, if any, the calling thread works for. A worker registers for as
// long as it runs. One lock guards the table.
#pragma once

namespace zembra::engine {

class TAVConverter;

// Registers the calling thread as a worker of `converter` until destroyed.
class ConvertThreadRegistration {
 public:
  explicit ConvertThreadRegistration(TAVConverter& converter);
  ~ConvertThreadRegistration();
  ConvertThreadRegistration(const ConvertThreadRegistration&) = delete;
  ConvertThreadRegistration& operator=(const ConvertThreadRegistration&) = delete;
};

// The converter the calling thread works for, or null. The converter stays alive while its
// worker is registered, so the caller may use it on this thread.
TAVConverter* ConverterOfCurrentThread();

}  // namespace zembra::engine
