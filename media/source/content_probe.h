// What a file's bytes say it is: the content tests that classify a file
// reached through the MPEG path (raw-sector Video CD file, WAVE with MPEG
// audio, system or transport stream, video or audio elementary stream).
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/media_api.h"

namespace dravik {

/// The reads the probe makes, so that a file, a host's table or a memory
/// buffer (the fuzzer) can serve it.
class ProbeInput {
 public:
  virtual ~ProbeInput() = default;
  /// Up to len bytes at the current position; 0 at the end, -1 on error.
  virtual int32_t read(void *buf, int32_t len) = 0;
  /// Absolute position; false when it cannot be reached.
  virtual bool seek(int64_t pos) = 0;
};

struct ContentVerdict {
  SourceKind kind = SOURCE_KIND_NOTHING;
  int32_t header_word = 0;  // for audio elementary streams, else 0
};

/// Classifies the bytes of in from its start (the steps after opening).
/// Reads at most a 16 MiB prefix (plus one window after a seek).
ContentVerdict classify_content(ProbeInput &in);

// The window tests, on n bytes of a window (full = the window holds 64 KiB).
bool is_system_stream(const uint8_t *w, size_t n);
bool is_transport_stream(const uint8_t *w, size_t n);
bool is_video_elementary(const uint8_t *w, size_t n);
/// Header word (b0 << 8 | b1) of the first accepted MPEG audio header, or 0;
/// its offset goes to *at when at is not null.
int32_t find_mpeg_audio(const uint8_t *w, size_t n, bool full, size_t *at = nullptr);
/// Offset of the first AC-3 sync word (0B 77), n when there is none.
size_t first_ac3(const uint8_t *w, size_t n);
/// True when AC-3 sync words are accepted by the same rule.
bool find_ac3(const uint8_t *w, size_t n, bool full);

}  // namespace dravik
