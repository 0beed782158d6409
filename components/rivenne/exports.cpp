// The entries of librivenne.so, reached by ordinal through RivenneProc.
#include <mutex>

#include "components/rivenne/capture.h"
#include "components/rivenne/rivenne.h"

namespace {

rivenne::Capture &capture() {
  static rivenne::Capture c;
  return c;
}
std::mutex &lock() {
  static std::mutex m;
  return m;
}

// Ordinal 1 (SysControl 19): a path names the capture file or DVR device.
intptr_t call(intptr_t param) {
  std::lock_guard<std::mutex> g(lock());
  capture().name(reinterpret_cast<const char *>(param));
  return param ? 1 : 0;
}

int32_t info(int32_t which) {
  std::lock_guard<std::mutex> g(lock());
  switch (which) {
    case RIVENNE_INFO_SIZE: {
      const int64_t n = capture().size();
      return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
    }
    case RIVENNE_INFO_KIND:
      return capture().kind();
    case RIVENNE_INFO_MIX:
      return capture().mix();
    default:
      return 0;
  }
}

int32_t open_stream() {
  std::lock_guard<std::mutex> g(lock());
  return capture().open() ? 1 : 0;
}

int32_t read_stream(void *buf, int32_t len) {
  std::lock_guard<std::mutex> g(lock());
  return capture().read(buf, len);
}

int32_t seek_stream(int32_t pos, int32_t origin) {
  std::lock_guard<std::mutex> g(lock());
  const int64_t at = capture().seek(pos, origin);
  return at > INT32_MAX ? INT32_MAX : static_cast<int32_t>(at);
}

int32_t close_stream() {
  std::lock_guard<std::mutex> g(lock());
  capture().close();
  return 1;
}

// This body only serves a stream; what other sources do is not its
// business.
void notify(int32_t, const void *, intptr_t) {}

intptr_t call2(intptr_t) { return 0; }

}  // namespace

extern "C" void *RivenneProc(int32_t ordinal) {
  switch (ordinal) {
    case RIVENNE_ORD_CALL:
      return reinterpret_cast<void *>(&call);
    case RIVENNE_ORD_INFO:
      return reinterpret_cast<void *>(&info);
    case RIVENNE_ORD_OPEN:
      return reinterpret_cast<void *>(&open_stream);
    case RIVENNE_ORD_READ:
      return reinterpret_cast<void *>(&read_stream);
    case RIVENNE_ORD_SEEK:
      return reinterpret_cast<void *>(&seek_stream);
    case RIVENNE_ORD_CLOSE:
      return reinterpret_cast<void *>(&close_stream);
    case RIVENNE_ORD_NOTIFY:
      return reinterpret_cast<void *>(&notify);
    case RIVENNE_ORD_CALL2:
      return reinterpret_cast<void *>(&call2);
    default:
      return nullptr;
  }
}
