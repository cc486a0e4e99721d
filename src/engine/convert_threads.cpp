#include "engine/convert_threads.h"

#include <mutex>
#include <thread>
#include <unordered_map>

namespace zembra::engine {
namespace {

std::mutex registry_mutex;
// Guarded by registry_mutex.
std::unordered_map<std::thread::id, TAVConverter*>& Registry() {
  static std::unordered_map<std::thread::id, TAVConverter*> registry;
  return registry;
}

}  // namespace

ConvertThreadRegistration::ConvertThreadRegistration(TAVConverter& converter) {
  std::lock_guard lock(registry_mutex);
  Registry()[std::this_thread::get_id()] = &converter;
}

ConvertThreadRegistration::~ConvertThreadRegistration() {
  std::lock_guard lock(registry_mutex);
  Registry().erase(std::this_thread::get_id());
}

TAVConverter* ConverterOfCurrentThread() {
  std::lock_guard lock(registry_mutex);
  const auto it = Registry().find(std::this_thread::get_id());
  return it == Registry().end() ? nullptr : it->second;
}

}  // namespace zembra::engine
