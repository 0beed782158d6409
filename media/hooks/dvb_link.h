// The DVB library (Rivenne), loaded on request: it serves the source named
// "DVBStream.DVB" (handle 0x7FFFF) and hears of every other source's open,
// close, seek and 64 KiB block.
#pragma once

#include <cstdint>
#include <mutex>

#include "components/rivenne/rivenne.h"
#include "platform/dynamic_library.h"

namespace dravik {

struct State;

/// The loaded library and its entries.
struct DvbLink {
  platform::DynamicLibrary library;
  RivenneCallFn call = nullptr;
  RivenneInfoFn info = nullptr;
  RivenneOpenFn open = nullptr;
  RivenneReadFn read = nullptr;
  RivenneSeekFn seek = nullptr;
  RivenneCloseFn close = nullptr;
  RivenneNotifyFn notify = nullptr;
  RivenneCallFn call2 = nullptr;
  std::mutex calls;  // one entry at a time (the read-ahead thread too)
};

/// Command 53: loads the library (param names another file when not 0;
/// else librivenne.so beside this library). -> non-zero, or 0.
intptr_t dvb_load(State &s, const char *file);
/// Command 54: closes a DVB source first, then frees the library.
void dvb_unload(State &s);
bool dvb_loaded(const State &s);
/// Commands 19 and 55: ordinals 1 and 8 with param; 0 when not loaded.
intptr_t dvb_call(State &s, int32_t ordinal, intptr_t param);
/// Ordinal 2 (0 size, 1 SourceKind, 2 stream mix).
int32_t dvb_info(State &s, int32_t which);

/// The stream itself (ordinals 3-6).
bool dvb_open(State &s);
int32_t dvb_read(State &s, void *buf, int32_t len);
int64_t dvb_seek(State &s, int64_t pos, int32_t origin);
void dvb_close(State &s);

/// Notifications of other sources (ordinal 7), when the library is loaded.
void dvb_note_open(State &s, const char *path);
void dvb_note_close(State &s);
void dvb_note_seek(State &s, int64_t pos, int32_t origin);
void dvb_note_block(State &s, const void *block, int32_t bytes);

}  // namespace dravik
