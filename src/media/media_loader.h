// Run-time binding of the FFmpeg libraries.
//
// The program never links the media libraries. LoadMediaLibraries() opens them with dlopen by
// the sonames of the headers it was compiled against, in dependency order, and binds every
// function listed in media_functions.inc into one process-wide table, `ff`. Code calls the
// libraries through that table under their own names: ff.avcodec_send_packet(...). A library
// that cannot be opened, or lacks a listed function, stops the load with "Can not load <soname>";
// the libraries before it stay loaded and the next call carries on from the first missing one.
// Once all are loaded a one-time registration block sets the log flags and the log callback.
//
// ZEMBRA_MEDIA_LIBDIR, when set, is the only directory searched.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "media/media_headers.h"

namespace zembra::media {

// In load order.
enum class MediaLibrary { AvUtil, SwResample, SwScale, AvCodec, AvFormat, AvFilter, AvDevice };
inline constexpr std::size_t kMediaLibraryCount = 7;

struct MediaFunctionTable {
#define ZEMBRA_MEDIA_FUNCTION(library, name) decltype(&::name) name = nullptr;
#include "media/media_functions.inc"
#undef ZEMBRA_MEDIA_FUNCTION
};

// The process-wide table. Written only by the loader (load and unload run before the first
// worker starts and after the last ends); read by every thread.
extern const MediaFunctionTable& ff;

class MediaLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads what is not loaded yet, binds it and registers once. Cheap when everything is loaded.
// Throws MediaLoadError("Can not load <soname>").
void LoadMediaLibraries();

// Releases every loaded library in a fixed order and clears the table; registration is undone,
// so the next load registers again. Does nothing when nothing is loaded.
void UnloadMediaLibraries();

// The file name the loader asks for, e.g. "libavformat.so.59".
std::string_view LibrarySoname(MediaLibrary library);
bool IsLibraryLoaded(MediaLibrary library);
// True when every library is loaded and the registration block has run.
bool MediaLibrariesReady();
// How many times the registration block has run in this process.
int RegistrationCount();

// The callback the registration block hands to av_log_set_callback. Set it before the first
// load; setting it while the libraries are loaded installs it at once. Null keeps the
// libraries' default callback.
using MediaLogCallback = void (*)(void* avcl, int level, const char* format, va_list args);
void SetMediaLogCallback(MediaLogCallback callback);

}  // namespace zembra::media
