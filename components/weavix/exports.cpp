// The exports of libweavix.so: one multiplex at a time; progress, cancel and
// the flag are plain atomics that any thread may touch.
#include <atomic>

#include "components/common/export_guard.h"
#include "components/weavix/multiplexer.h"
#include "components/weavix/weavix.h"

namespace weavix {
namespace {

RunControl &control() {
  static RunControl c;
  return c;
}
std::atomic<bool> g_running{false};
std::atomic<int32_t> g_flag{0};

}  // namespace
}  // namespace weavix

extern "C" {

WEAVIX_API int32_t WeavixMultiplex(const char *video_path, const char *audio_path, const char *out_path) {
  bool idle = false;
  if (!weavix::g_running.compare_exchange_strong(idle, true)) return 0;
  weavix::RunControl &c = weavix::control();
  c.cancel = false;
  const int32_t result = component_io::guard_export<int32_t>(
      0, [&] { return weavix::multiplex(video_path, audio_path, out_path, c) ? 1 : 0; });
  weavix::g_running = false;
  return result;
}

WEAVIX_API int32_t WeavixProgress(void) { return weavix::control().progress.load(); }

WEAVIX_API int32_t WeavixSetFlag(int32_t flag) {
  weavix::g_flag = flag;
  return flag;
}

WEAVIX_API void WeavixCancel(void) {
  if (weavix::g_running.load()) weavix::control().cancel = true;
}

WEAVIX_API int32_t WeavixSkipped(void) { return weavix::control().skipped.load(); }

WEAVIX_API void *WeavixProc(int32_t ordinal) {
  static void *const kExports[] = {
      reinterpret_cast<void *>(&WeavixMultiplex), reinterpret_cast<void *>(&WeavixProgress),
      reinterpret_cast<void *>(&WeavixSetFlag),   reinterpret_cast<void *>(&WeavixCancel),
      reinterpret_cast<void *>(&WeavixSkipped),
  };
  return component_io::export_at(ordinal, kExports);
}

}  // extern "C"
