#include "media/extract/output_file.h"

#include <atomic>

#include "platform/file.h"

namespace dravik {

namespace {

std::atomic<int32_t> g_calls_to_failure{0};

// True when this call is the one a test asked to fail.
bool injected_failure() {
  int32_t left = g_calls_to_failure.load(std::memory_order_relaxed);
  while (left > 0) {
    if (g_calls_to_failure.compare_exchange_weak(left, left - 1)) return left == 1;
  }
  return false;
}

}  // namespace

LayerFile output_create(const Hooks &h, const char *path) {
  if (injected_failure()) return LayerFile{};
  return layer_create(h, path);
}

bool output_write(const LayerFile &f, const void *data, int32_t len) {
  if (injected_failure()) return false;
  return layer_write(f, data, len);
}

bool output_write(int fd, const void *data, int32_t len) {
  if (injected_failure()) return false;
  return platform::file_write(fd, data, len) == len;
}

void output_close(LayerFile &f) { layer_close_output(f); }

void fail_output_call(int32_t nth) { g_calls_to_failure.store(nth < 0 ? 0 : nth); }

}  // namespace dravik
