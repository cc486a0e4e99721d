#include "media/media_loader.h"

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "media/reporting.h"

namespace zembra::media {
namespace {

MediaFunctionTable table;

#define ZEMBRA_STRINGIFY_VALUE(x) #x
#define ZEMBRA_SONAME(stem, major) "lib" stem ".so." ZEMBRA_STRINGIFY_VALUE(major)

struct LibraryInfo {
  MediaLibrary library;
  const char* soname;
};

// Load order: each library after those it depends on.
constexpr std::array<LibraryInfo, kMediaLibraryCount> kLibraries = {{
    {MediaLibrary::AvUtil, ZEMBRA_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR)},
    {MediaLibrary::SwResample, ZEMBRA_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR)},
    {MediaLibrary::SwScale, ZEMBRA_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR)},
    {MediaLibrary::AvCodec, ZEMBRA_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR)},
    {MediaLibrary::AvFormat, ZEMBRA_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR)},
    {MediaLibrary::AvFilter, ZEMBRA_SONAME("avfilter", LIBAVFILTER_VERSION_MAJOR)},
    {MediaLibrary::AvDevice, ZEMBRA_SONAME("avdevice", LIBAVDEVICE_VERSION_MAJOR)},
}};

constexpr bool IndexedByLibrary() {
  for (std::size_t i = 0; i < kLibraries.size(); ++i) {
    if (static_cast<std::size_t>(kLibraries[i].library) != i) return false;
  }
  return true;
}
static_assert(IndexedByLibrary(), "kLibraries is indexed by MediaLibrary");

// Unload order, fixed.
constexpr std::array<MediaLibrary, kMediaLibraryCount> kUnloadOrder = {
    MediaLibrary::AvCodec,  MediaLibrary::AvDevice,   MediaLibrary::AvFormat, MediaLibrary::SwScale,
    MediaLibrary::AvFilter, MediaLibrary::SwResample, MediaLibrary::AvUtil,
};

struct Binding {
  MediaLibrary library;
  const char* name;
  void (*bind)(void* symbol);
};

// Function pointers are bound from dlsym's void*, which POSIX guarantees to round-trip.
#define ZEMBRA_MEDIA_FUNCTION(lib, fn) \
  {MediaLibrary::lib, #fn,             \
   [](void* symbol) { table.fn = reinterpret_cast<decltype(MediaFunctionTable::fn)>(symbol); }},
const Binding kBindings[] = {
#include "media/media_functions.inc"
};
#undef ZEMBRA_MEDIA_FUNCTION

std::size_t Index(MediaLibrary library) { return static_cast<std::size_t>(library); }

// Guards everything below. Loading happens on whichever thread first needs the libraries.
std::mutex loader_mutex;
std::array<void*, kMediaLibraryCount> handles{};
bool registered = false;
std::atomic<bool> ready{false};
std::atomic<int> registration_count{0};
std::atomic<MediaLogCallback> log_callback{nullptr};

void ClearBindings(MediaLibrary library) {
  for (const Binding& binding : kBindings) {
    if (binding.library == library) binding.bind(nullptr);
  }
}

// Binds every listed function of `library`; returns the names the library does not export.
std::vector<std::string> BindFunctions(MediaLibrary library, void* handle) {
  std::vector<std::string> missing;
  for (const Binding& binding : kBindings) {
    if (binding.library != library) continue;
    void* symbol = dlsym(handle, binding.name);
    if (symbol == nullptr) missing.emplace_back(binding.name);
    binding.bind(symbol);
  }
  return missing;
}

std::string LibraryPath(const char* soname) {
  const char* dir = std::getenv("ZEMBRA_MEDIA_LIBDIR");
  if (dir == nullptr || *dir == '\0') return soname;  // the dynamic linker's own search
  std::string path = dir;
  if (path.back() != '/') path += '/';
  return path + soname;
}

void LoadOne(const LibraryInfo& info) {
  const std::string path = LibraryPath(info.soname);
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    ReportDiagnostic(std::string(info.soname) + ": " + (reason ? reason : "dlopen failed"));
    throw MediaLoadError(std::string("Can not load ") + info.soname);
  }
  const std::vector<std::string> missing = BindFunctions(info.library, handle);
  if (!missing.empty()) {
    for (const std::string& name : missing) {
      ReportDiagnostic(std::string(info.soname) + ": missing function " + name);
    }
    ClearBindings(info.library);
    dlclose(handle);
    throw MediaLoadError(std::string("Can not load ") + info.soname);
  }
  handles[Index(info.library)] = handle;
}

void RunRegistration() {
  table.av_log_set_flags(AV_LOG_SKIP_REPEATED);
  // Input and output devices (ALSA, PulseAudio, V4L2, ...) join the format lists only when
  // registered; codecs, formats and filters need no registration in this generation.
  table.avdevice_register_all();
  if (MediaLogCallback callback = log_callback.load()) table.av_log_set_callback(callback);
  registered = true;
  ++registration_count;
}

}  // namespace

const MediaFunctionTable& ff = table;

void LoadMediaLibraries() {
  if (ready.load(std::memory_order_acquire)) return;
  std::lock_guard lock(loader_mutex);
  for (const LibraryInfo& info : kLibraries) {
    if (handles[Index(info.library)] == nullptr) LoadOne(info);
  }
  if (!registered) RunRegistration();
  ready.store(true, std::memory_order_release);
}

void UnloadMediaLibraries() {
  std::lock_guard lock(loader_mutex);
  ready.store(false, std::memory_order_release);
  for (MediaLibrary library : kUnloadOrder) {
    void*& handle = handles[Index(library)];
    if (handle == nullptr) continue;
    if (library == MediaLibrary::AvUtil && table.av_log_set_callback != nullptr &&
        log_callback.load() != nullptr) {
      // The library may outlive this handle (other users in the process); leave it with its
      // own callback rather than one into code that may be gone.
      table.av_log_set_callback(table.av_log_default_callback);
    }
    if (dlclose(handle) != 0) {
      const char* reason = dlerror();
      throw MediaLoadError(std::string("Can not unload ") + kLibraries[Index(library)].soname +
                           ": " + (reason ? reason : "dlclose failed"));
    }
    handle = nullptr;
    ClearBindings(library);
  }
  registered = false;
}

std::string_view LibrarySoname(MediaLibrary library) { return kLibraries[Index(library)].soname; }

bool IsLibraryLoaded(MediaLibrary library) {
  std::lock_guard lock(loader_mutex);
  return handles[Index(library)] != nullptr;
}

bool MediaLibrariesReady() { return ready.load(std::memory_order_acquire); }

int RegistrationCount() { return registration_count.load(); }

void SetMediaLogCallback(MediaLogCallback callback) {
  std::lock_guard lock(loader_mutex);
  log_callback.store(callback);
  if (registered) {
    table.av_log_set_callback(callback != nullptr ? callback : table.av_log_default_callback);
  }
}

}  // namespace zembra::media
