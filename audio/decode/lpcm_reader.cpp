#include "audio/decode/lpcm_reader.h"

#include <algorithm>
#include <cstring>

#include "audio/decode/pcm_modes.h"

namespace lunaret {

namespace {

constexpr uint8_t kMarker[4] = {'L', 'P', 'C', 'M'};
constexpr int32_t kRecordHead = 8;    // marker and length
constexpr int32_t kHeaderBytes = 6;   // the LPCM packet header
constexpr int32_t kFormatOffset = 4;  // the format byte within it
constexpr int32_t kPointerBytes = 3;  // frame count and first access unit pointer
constexpr int32_t kPointerBias = 4;   // the pointer counts from its own last byte

// Sample rate by the header's rate code: 48 and 96 kHz are the DVD's;
// 44.1 and 32 kHz are what other writers put in codes 2 and 3.
constexpr int32_t kRates[4] = {48000, 96000, 44100, 32000};
constexpr int32_t kBits[4] = {16, 20, 24, 24};

uint32_t le32(const uint8_t *p) {
  return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

LpcmFormat lpcm_format(uint8_t b) {
  LpcmFormat f;
  f.bits = kBits[b >> 6];
  f.channels = (b & 7) + 1;
  f.rate = kRates[(b >> 4) & 3];
  // The header's 32-bit code is read with 24-bit packing.
  f.nominal_bits = (b >> 6) == 3 ? 32 : f.bits;
  f.bit_rate = f.rate * f.channels * f.nominal_bits / 1000;
  int64_t block = static_cast<int64_t>(f.channels) * f.bits * (f.rate > 48000 ? 36864 : 4608) / 32;
  block = std::min<int64_t>(block, LpcmReader::kMaxBlock);
  f.block_bytes = static_cast<int32_t>(block - block % f.group_bytes());
  return f;
}

int32_t lpcm_convert(const LpcmFormat &f, const uint8_t *src, int32_t groups, int16_t *dst) {
  const int32_t ch = f.channels;
  int16_t *o = dst;
  for (int32_t g = 0; g < groups; ++g) {
    // Both frames' high 16 bits come first in every group; the low bits
    // that follow are dropped (16 bits by truncation).
    const uint8_t *hi = src + static_cast<size_t>(g) * f.group_bytes();
    for (int32_t fr = 0; fr < 2; ++fr) {
      int32_t s[8];
      for (int32_t c = 0; c < ch; ++c) {
        const uint8_t *p = hi + 2 * (fr * ch + c);
        s[c] = static_cast<int16_t>(p[0] << 8 | p[1]);
      }
      if (ch == 1) {
        *o++ = static_cast<int16_t>(s[0]);
        continue;
      }
      downmix_frame(s, ch, o);
      o += 2;
    }
  }
  return static_cast<int32_t>(o - dst);
}

void LpcmReader::set_source(ReadFn read, void *ctx) {
  read_ = read;
  ctx_ = ctx;
}

void LpcmReader::reset() {
  pos_ = end_ = 0;
  ended_ = false;
  first_packet_ = true;
  have_ = 0;
}

bool LpcmReader::available(int32_t n) {
  while (end_ - pos_ < n && !ended_) {
    if (pos_ > 0) {
      std::memmove(in_, in_ + pos_, static_cast<size_t>(end_ - pos_));
      end_ -= pos_;
      pos_ = 0;
    }
    const int32_t room = kReadBytes - end_;
    if (room <= 0) break;
    int32_t got = read_ ? read_(ctx_, in_ + end_, room) : 0;
    if (got <= 0) {
      ended_ = true;
      break;
    }
    end_ += std::min(got, room);
  }
  return end_ - pos_ >= n;
}

// Appends the next packet's payload to the collecting buffer.
bool LpcmReader::next_payload() {
  for (;;) {
    if (!available(kRecordHead)) return false;
    int32_t i = pos_;
    while (i + 4 <= end_ && std::memcmp(in_ + i, kMarker, 4) != 0) ++i;
    if (i + 4 > end_) {
      pos_ = std::max(pos_, end_ - 3);  // a marker may straddle the reads
      if (ended_) return false;
      available(end_ - pos_ + 1);
      continue;
    }
    pos_ = i;
    if (!available(kRecordHead + kPointerBytes)) return false;
    const uint32_t length = le32(in_ + pos_ + 4);
    const uint8_t *head = in_ + pos_ + kRecordHead;
    int32_t skip = kHeaderBytes;
    if (first_packet_) {
      int32_t pointer = head[1] << 8 | head[2];
      if (pointer != 0) pointer -= kPointerBias;
      skip = pointer + kHeaderBytes;
    }
    const int64_t payload = static_cast<int64_t>(length) - skip;
    if (length > static_cast<uint32_t>(kReadBytes - kRecordHead) || payload < 0 || payload > kMaxPayload) {
      pos_ += 4;  // impossible length: look for the next record
      continue;
    }
    if (!available(kRecordHead + static_cast<int32_t>(length))) return false;
    const int32_t n = static_cast<int32_t>(payload);
    std::memcpy(collect_ + have_, in_ + pos_ + kRecordHead + skip, static_cast<size_t>(n));
    have_ += n;
    pos_ += kRecordHead + static_cast<int32_t>(length);
    first_packet_ = false;
    return true;
  }
}

bool LpcmReader::probe(LpcmFormat *format) {
  for (;;) {
    if (!available(kRecordHead + kHeaderBytes)) return false;
    int32_t i = pos_;
    while (i + 4 <= end_ && std::memcmp(in_ + i, kMarker, 4) != 0) ++i;
    if (i + 4 > end_) {
      pos_ = end_ - 3;
      if (ended_) return false;
      available(end_ - pos_ + 1);
      continue;
    }
    pos_ = i;
    if (!available(kRecordHead + kHeaderBytes)) return false;
    if (le32(in_ + pos_ + 4) < static_cast<uint32_t>(kHeaderBytes)) {
      pos_ += 4;
      continue;
    }
    format_ = lpcm_format(in_[pos_ + kRecordHead + kFormatOffset]);
    if (format) *format = format_;
    return true;
  }
}

int32_t LpcmReader::fill(int16_t *dst, int32_t max_frames) {
  const int32_t block = format_.block_bytes;
  const int32_t group = format_.group_bytes();
  if (block <= 0 || group <= 0) return 0;
  while (have_ < block && next_payload()) {
  }
  int32_t groups = std::min(have_, block) / group;
  groups = std::min(groups, max_frames / 2);
  if (groups <= 0) return 0;
  int32_t values = lpcm_convert(format_, collect_, groups, dst);
  const int32_t used = groups * group;
  std::memmove(collect_, collect_ + used, static_cast<size_t>(have_ - used));
  have_ -= used;
  return values;
}

}  // namespace lunaret
