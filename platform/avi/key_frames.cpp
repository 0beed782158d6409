// Key frames of chunks that no index describes, judged from the codec's
// own picture headers.
#include "platform/avi/avi_internal.h"

namespace platform::avi {

namespace {

constexpr uint8_t kVopStartCode = 0xB6;
constexpr int kH264Idr = 5;
constexpr int kCinepakFrameHeader = 10;
constexpr uint8_t kCinepakIntraStrip = 0x10;

bool one_of(uint32_t code, std::initializer_list<const char *> names) {
  for (const char *n : names)
    if (code == fourcc(n[0], n[1], n[2], n[3])) return true;
  return false;
}

uint32_t upper(uint32_t code) {
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t c = (code >> (8 * i)) & 0xFF;
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    out |= c << (8 * i);
  }
  return out;
}

bool is_mpeg4(uint32_t c) {
  return one_of(
      c, {"DIVX", "DX50", "XVID", "FMP4", "MP4V", "M4S2", "DIV4", "DIV5", "DIV6", "3IV2", "BLZ0", "RMP4"});
}
bool is_h264(uint32_t c) { return one_of(c, {"H264", "AVC1", "X264", "DAVC", "VSSH"}); }
bool is_msmpeg4(uint32_t c) { return one_of(c, {"DIV3", "MP43", "MP42", "DIV4", "MPG4", "AP41", "COL1"}); }

// The first VOP's coding type: 0 is an intra VOP.
bool mpeg4_key(const uint8_t *p, int64_t n) {
  for (int64_t i = 0; i + 4 < n; ++i)
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && p[i + 3] == kVopStartCode) return (p[i + 4] >> 6) == 0;
  return false;
}

bool h264_key(const uint8_t *p, int64_t n) {
  for (int64_t i = 0; i + 3 < n; ++i)
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && (p[i + 3] & 0x1F) == kH264Idr) return true;
  return false;
}

// A frame whose first strip is an intra strip.
bool cinepak_key(const uint8_t *p, int64_t n) {
  return n > kCinepakFrameHeader && p[kCinepakFrameHeader] == kCinepakIntraStrip;
}

}  // namespace

uint32_t video_codec(const Stream &s) {
  if (s.format.size() >= 20) {
    uint32_t c = le32(s.format.data() + 16);
    if (c > 3) return upper(c);
  }
  return upper(s.header.handler);
}

bool codec_is_intra_only(const Stream &s) {
  if (s.header.type != kTypeVideo) return true;
  uint32_t c = video_codec(s);
  return !is_mpeg4(c) && !is_h264(c) && !is_msmpeg4(c) &&
         !one_of(c, {"CVID", "MSVC", "CRAM", "WHAM", "FFV1"});
}

bool is_key_frame(const Stream &s, const uint8_t *head, int64_t n) {
  uint32_t c = video_codec(s);
  if (is_mpeg4(c)) return mpeg4_key(head, n);
  if (is_h264(c)) return h264_key(head, n);
  if (is_msmpeg4(c)) return n > 0 && (head[0] >> 6) == 0;
  if (c == fourcc('C', 'V', 'I', 'D')) return cinepak_key(head, n);
  return true;
}

}  // namespace platform::avi
