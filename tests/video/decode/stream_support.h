// Helpers of the decoder tests: a memory byte source and small bit writers
// for hand-made streams. Files and commands go through
// tests/support/tool_run.h.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "video/decode/decoder.h"

namespace video_test {

/// Serves a byte vector through the decoder's pull interface, in pieces of
/// at most `chunk` bytes so refills straddle reads.
struct MemorySource {
  std::vector<uint8_t> bytes;
  size_t pos = 0;
  int32_t chunk = 1 << 30;

  static int32_t read(void *ctx, void *dst, int32_t len) {
    auto *m = static_cast<MemorySource *>(ctx);
    const size_t left = m->bytes.size() - m->pos;
    size_t n = std::min<size_t>({left, size_t(len), size_t(m->chunk)});
    std::copy_n(m->bytes.data() + m->pos, n, static_cast<uint8_t *>(dst));
    m->pos += n;
    return int32_t(n);
  }
  static int32_t seek(void *ctx, int32_t pos, int32_t origin) {
    auto *m = static_cast<MemorySource *>(ctx);
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(m->pos) : int64_t(m->bytes.size());
    const int64_t to = base + pos;
    if (to < 0 || to > int64_t(m->bytes.size())) return -1;
    m->pos = size_t(to);
    return int32_t(to);
  }
  kestrum::VideoSource source() {
    return kestrum::VideoSource{this, &MemorySource::read, &MemorySource::seek, int64_t(bytes.size())};
  }
};

/// MSB-first bit writer for hand-made streams.
struct BitWriter {
  std::vector<uint8_t> bytes;
  int bits = 0;  // bits used in the last byte
  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (bits == 0) bytes.push_back(0);
      if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> bits);
      bits = (bits + 1) & 7;
    }
  }
  void put_bits(const char *s) {
    for (; *s; ++s) put(*s == '1', 1);
  }
  void align() {
    while (bits) put(0, 1);
  }
  void start_code(uint32_t code) {
    align();
    put(code, 32);
  }
};

}  // namespace video_test
