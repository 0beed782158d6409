#include "media/hooks/dvb_link.h"

#include <dlfcn.h>

#include <memory>
#include <string>

#include "media/hooks/hook_call.h"
#include "media/source/source.h"
#include "media/state.h"

namespace dravik {

namespace {

// librivenne.so in the folder this library was loaded from.
std::string default_path() {
  Dl_info info = {};
  if (dladdr(reinterpret_cast<void *>(&dvb_load), &info) && info.dli_fname) {
    std::string self = info.dli_fname;
    const size_t slash = self.rfind('/');
    if (slash != std::string::npos) return self.substr(0, slash + 1) + RIVENNE_LIBRARY;
  }
  return RIVENNE_LIBRARY;
}

template <class F>
auto call_library(DvbLink &l, F &&f) {
  std::lock_guard<std::mutex> lock(l.calls);
  HookCall mark;
  return f();
}

template <class T>
T entry(const DvbLink &l, int32_t ordinal) {
  return reinterpret_cast<T>(l.library.ordinal("RivenneProc", ordinal));
}

void notify(State &s, int32_t code, const void *pointer, intptr_t value) {
  DvbLink *l = s.hooks.dvb.get();
  if (!l || !l->notify) return;
  call_library(*l, [&] {
    l->notify(code, pointer, value);
    return 0;
  });
}

}  // namespace

intptr_t dvb_load(State &s, const char *file) {
  if (s.hooks.dvb) return reinterpret_cast<intptr_t>(s.hooks.dvb.get());
  auto l = std::make_unique<DvbLink>();
  const std::string path = file && *file ? file : default_path();
  if (!l->library.open(path.c_str())) return 0;
  l->call = entry<RivenneCallFn>(*l, RIVENNE_ORD_CALL);
  l->info = entry<RivenneInfoFn>(*l, RIVENNE_ORD_INFO);
  l->open = entry<RivenneOpenFn>(*l, RIVENNE_ORD_OPEN);
  l->read = entry<RivenneReadFn>(*l, RIVENNE_ORD_READ);
  l->seek = entry<RivenneSeekFn>(*l, RIVENNE_ORD_SEEK);
  l->close = entry<RivenneCloseFn>(*l, RIVENNE_ORD_CLOSE);
  l->notify = entry<RivenneNotifyFn>(*l, RIVENNE_ORD_NOTIFY);
  l->call2 = entry<RivenneCallFn>(*l, RIVENNE_ORD_CALL2);
  // The stream entries come as a family: without all of them the library
  // cannot serve a stream (and is not taken).
  if (!l->info || !l->open || !l->read || !l->seek || !l->close) return 0;
  s.hooks.dvb = std::move(l);
  return reinterpret_cast<intptr_t>(s.hooks.dvb.get());
}

void dvb_unload(State &s) {
  if (!s.hooks.dvb) return;
  // A DVB source still open would leave SysClose calling freed code.
  if (s.source.type == SourceType::dvb) close_source(s);
  s.hooks.dvb.reset();
}

bool dvb_loaded(const State &s) { return s.hooks.dvb != nullptr; }

intptr_t dvb_call(State &s, int32_t ordinal, intptr_t param) {
  DvbLink *l = s.hooks.dvb.get();
  if (!l) return 0;
  RivenneCallFn fn = ordinal == RIVENNE_ORD_CALL ? l->call : l->call2;
  if (!fn) return 0;
  return call_library(*l, [&] { return fn(param); });
}

int32_t dvb_info(State &s, int32_t which) {
  DvbLink *l = s.hooks.dvb.get();
  if (!l) return 0;
  return call_library(*l, [&] { return l->info(which); });
}

bool dvb_open(State &s) {
  DvbLink *l = s.hooks.dvb.get();
  return l && call_library(*l, [&] { return l->open(); }) != 0;
}

int32_t dvb_read(State &s, void *buf, int32_t len) {
  DvbLink *l = s.hooks.dvb.get();
  if (!l) return 0;
  const int32_t n = call_library(*l, [&] { return l->read(buf, len); });
  return n < 0 ? 0 : n > len ? len : n;
}

int64_t dvb_seek(State &s, int64_t pos, int32_t origin) {
  DvbLink *l = s.hooks.dvb.get();
  if (!l || pos > INT32_MAX || pos < INT32_MIN) return -1;
  return call_library(*l, [&] { return l->seek(static_cast<int32_t>(pos), origin); });
}

void dvb_close(State &s) {
  DvbLink *l = s.hooks.dvb.get();
  if (l) call_library(*l, [&] { return l->close(); });
}

void dvb_note_open(State &s, const char *path) { notify(s, RIVENNE_NOTE_OPEN, path, 0); }
void dvb_note_close(State &s) { notify(s, RIVENNE_NOTE_CLOSE, nullptr, 0); }
void dvb_note_seek(State &s, int64_t pos, int32_t origin) {
  const RivenneSeekNote note = {pos, origin};
  notify(s, RIVENNE_NOTE_SEEK, &note, 0);
}
void dvb_note_block(State &s, const void *block, int32_t bytes) {
  notify(s, RIVENNE_NOTE_BLOCK, block, bytes);
}

}  // namespace dravik
