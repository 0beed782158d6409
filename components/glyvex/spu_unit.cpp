#include "components/glyvex/spu_unit.h"

#include <cstring>

namespace glyvex {

namespace {

enum Command : uint8_t {
  kForcedStart = 0x00,
  kStart = 0x01,
  kStop = 0x02,
  kColour = 0x03,
  kContrast = 0x04,
  kArea = 0x05,
  kOffsets = 0x06,
  kColourChange = 0x07,
  kEnd = 0xFF,
};

uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// Reads one sequence's commands from `at`; -> false on a fault.
bool read_commands(const uint8_t *u, size_t size, size_t at, Sequence &s) {
  while (at < size) {
    const uint8_t cmd = u[at++];
    switch (cmd) {
      case kEnd:
        return true;
      case kForcedStart:
      case kStart:
        s.display = 1;
        break;
      case kStop:
        s.display = 0;
        break;
      case kColour:
      case kContrast: {
        if (size - at < 2) return false;
        uint8_t *v = cmd == kColour ? s.colour : s.contrast;
        v[3] = u[at] >> 4, v[2] = u[at] & 15, v[1] = u[at + 1] >> 4, v[0] = u[at + 1] & 15;
        (cmd == kColour ? s.has_colour : s.has_contrast) = true;
        at += 2;
        break;
      }
      case kArea:
        if (size - at < 6) return false;
        s.x1 = u[at] << 4 | u[at + 1] >> 4;
        s.x2 = (u[at + 1] & 15) << 8 | u[at + 2];
        s.y1 = u[at + 3] << 4 | u[at + 4] >> 4;
        s.y2 = (u[at + 4] & 15) << 8 | u[at + 5];
        s.has_area = true;
        at += 6;
        break;
      case kOffsets:
        if (size - at < 4) return false;
        s.offset[0] = be16(u + at);
        s.offset[1] = be16(u + at + 2);
        s.has_offsets = true;
        at += 4;
        break;
      case kColourChange: {
        // Area colour changes are not drawn: skipped by their own length,
        // which counts its two bytes.
        if (size - at < 2) return false;
        const size_t length = be16(u + at);
        if (length < 2 || length > size - at) return false;
        at += length;
        break;
      }
      default:
        return false;  // unknown: the rest of the sequence cannot be read
    }
  }
  return false;  // no end command
}

class Nibbles {
 public:
  Nibbles(const uint8_t *u, size_t end, size_t at) : u_(u), end_(end), pos_(at * 2) {}
  bool more() const { return pos_ < end_ * 2; }
  uint32_t next() {
    if (!more()) return 0;
    const uint8_t b = u_[pos_ / 2];
    const uint32_t v = (pos_ & 1) ? (b & 15) : (b >> 4);
    ++pos_;
    return v;
  }
  void align() { pos_ = (pos_ + 1) & ~static_cast<size_t>(1); }

 private:
  const uint8_t *u_;
  size_t end_;
  size_t pos_;
};

}  // namespace

bool parse_unit(const uint8_t *u, size_t size, std::vector<Sequence> &out) {
  out.clear();
  if (!u || size < 4) return false;
  const size_t unit_size = be16(u);
  if (unit_size < 4 || unit_size > size) return false;
  size = unit_size;
  size_t at = be16(u + 2);
  for (int32_t n = 0; n < kMaxSequences; ++n) {
    if (at + 4 > size) return !out.empty();
    Sequence s;
    s.delay = be16(u + at);
    const size_t next = be16(u + at + 2);
    const bool whole = read_commands(u, size, at + 4, s);
    out.push_back(s);
    // The last sequence points at itself; one pointing back would loop.
    if (!whole || next <= at) return true;
    at = next;
  }
  return true;
}

void decode_area(const uint8_t *u, size_t size, const uint16_t offset[2], int32_t width, int32_t height,
                 uint8_t *pixels) {
  std::memset(pixels, 0, static_cast<size_t>(width) * static_cast<size_t>(height));
  if (size >= 2 && be16(u) < size) size = be16(u);
  for (int field = 0; field < 2; ++field) {
    Nibbles bits(u, size, offset[field]);
    for (int32_t y = field; y < height; y += 2) {
      uint8_t *line = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
      int32_t x = 0;
      while (x < width && bits.more()) {
        uint32_t v = bits.next();
        if (v < 0x4) {
          v = v << 4 | bits.next();
          if (v < 0x10) {
            v = v << 4 | bits.next();
            if (v < 0x40) v = v << 4 | bits.next();
          }
        }
        const int32_t run = static_cast<int32_t>(v >> 2);
        const int32_t count = run == 0 || run > width - x ? width - x : run;
        std::memset(line + x, static_cast<int>(v & 3), static_cast<size_t>(count));
        x += count;
      }
      bits.align();
      if (!bits.more()) break;
    }
  }
}

}  // namespace glyvex
