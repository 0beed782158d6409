#include "components/weavix/video_framer.h"

#include <algorithm>

namespace weavix {

namespace {

constexpr uint8_t kPictureStart = 0x00;
constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kExtension = 0xB5;
constexpr uint8_t kGroupStart = 0xB8;
constexpr int kSequenceExtensionId = 1;
constexpr int kPictureCodingExtensionId = 8;
constexpr int kFramePicture = 3;
// A picture larger than this is damage, not video (an MPEG-2 MP@HL buffer
// holds under 10 MB).
constexpr size_t kMaxUnit = 16u << 20;
// Bytes after a start code that the header reads look at.
constexpr size_t kHeaderBytes = 12;

constexpr int64_t kFrameRates[9][2] = {{0, 1},  {24000, 1001}, {24, 1}, {25, 1},      {30000, 1001},
                                       {30, 1}, {50, 1},       {60, 1}, {60000, 1001}};

bool is_unit_start(uint8_t code) {
  return code == kPictureStart || code == kSequenceHeader || code == kGroupStart;
}

}  // namespace

bool VideoFramer::start(size_t search) {
  window_.want(search);
  const uint8_t *p = window_.data();
  const size_t n = window_.size();
  size_t at = 0;
  for (;;) {
    at = find_start_code(p, n, at);
    if (at + 12 > n) return false;
    if (p[at + 3] == kSequenceHeader) break;
    ++at;
  }
  if (at > 0) {
    ++skipped_;
    window_.consume(at);
    p = window_.data();
  }
  const uint8_t *h = p + 4;
  info_.width = (h[0] << 4) | (h[1] >> 4);
  info_.height = ((h[1] & 0x0F) << 8) | h[2];
  info_.frame_rate_code = h[3] & 0x0F;
  const int64_t rate_units = (int64_t(h[4]) << 10) | (int64_t(h[5]) << 2) | (h[6] >> 6);
  info_.bit_rate = rate_units == 0x3FFFF ? 0 : rate_units * 400;
  info_.vbv_bits = int64_t(((h[6] & 0x1F) << 5) | (h[7] >> 3)) * 16384;
  if (info_.width == 0 || info_.height == 0 || info_.frame_rate_code < 1 || info_.frame_rate_code > 8)
    return false;
  info_.fps_num = kFrameRates[info_.frame_rate_code][0];
  info_.fps_den = kFrameRates[info_.frame_rate_code][1];
  // An MPEG-2 sequence extension follows the header (after any matrices)
  // before anything else.
  const size_t next = find_start_code(window_.data(), window_.size(), 12);
  if (next + 10 <= window_.size() && p[next + 3] == kExtension &&
      (p[next + 4] >> 4) == kSequenceExtensionId) {
    const uint8_t *e = p + next + 4;
    info_.mpeg2 = true;
    info_.width |= ((e[1] & 0x01) << 13) | ((e[2] & 0x80) << 5);
    info_.height |= (e[2] & 0x60) << 7;
    const int64_t rate_ext = (int64_t(e[2] & 0x1F) << 7) | (e[3] >> 1);
    if (info_.bit_rate) info_.bit_rate += (rate_ext << 18) * 400;
    info_.vbv_bits += (int64_t(e[4]) << 10) * 16384;
    const int n_ext = (e[5] >> 5) & 3, d_ext = e[5] & 0x1F;
    info_.fps_num *= n_ext + 1;
    info_.fps_den *= d_ext + 1;
  }
  return true;
}

int64_t VideoFramer::frame_ticks(int64_t index) const {
  // Index + 1: the first anchor is decoded one picture before it shows.
  const int64_t i = index + 1;
  return (i * 90000 * info_.fps_den + info_.fps_num / 2) / info_.fps_num;
}

void VideoFramer::note_start_code(const uint8_t *p, size_t avail) {
  const uint8_t code = p[3];
  const uint8_t *h = p + 4;
  const size_t n = avail > 4 ? avail - 4 : 0;
  if (code == kGroupStart) {
    gop_seen_ = true;
  } else if (code == kPictureStart) {
    if (picture_.seen) return;  // the second field of a pair keeps the first one's facts
    picture_.seen = true;
    picture_.gop_before = gop_seen_;
    gop_seen_ = false;
    fields_ = 0;
    if (n >= 2) {
      picture_.temporal_reference = (h[0] << 2) | (h[1] >> 6);
      picture_.type = (h[1] >> 3) & 7;
    }
  } else if (code == kExtension && n >= 3 && (h[0] >> 4) == kPictureCodingExtensionId && picture_.seen) {
    const int structure = h[2] & 3;
    if (structure != kFramePicture && ++fields_ == 1) second_field_ = true;
  }
}

void VideoFramer::time_unit(VideoUnit &unit) {
  const PictureFacts &f = picture_;
  unit.key = f.type == 1;
  if (f.gop_before) gop_base_ = max_index_ + 1;
  int64_t index = gop_base_ + f.temporal_reference;
  const bool anchor = f.type != 3;
  int64_t dts_index;
  if (anchor) {
    // An anchor shows after every picture before it; one out of order
    // (damage, or a stream without GOP headers whose count wrapped) is put
    // right after the last one shown.
    if (any_anchor_ && index <= last_anchor_) index = max_index_ + 1;
    // It is decoded when the previous anchor shows.
    dts_index = any_anchor_ ? last_anchor_ : gop_base_ - 1;
    last_anchor_ = index;
    any_anchor_ = true;
  } else {
    dts_index = index;
  }
  max_index_ = std::max(max_index_, index);
  unit.pts = frame_ticks(index);
  unit.dts = frame_ticks(dts_index);
  // Damaged references must not make decoding time run backwards.
  if (unit.dts <= last_dts_) unit.dts = last_dts_ + 1;
  if (unit.pts < unit.dts) unit.pts = unit.dts;
  last_dts_ = unit.dts;
}

void VideoFramer::emit(VideoUnit &unit, size_t size) {
  unit.data = window_.data();
  unit.size = size;
  time_unit(unit);
  picture_ = {};
  second_field_ = false;
  // The bytes stay in view until the next call.
  consume_pending_ = true;
  pending_size_ = size;
}

bool VideoFramer::next(VideoUnit &unit) {
  if (consume_pending_) {
    window_.consume(pending_size_);
    consume_pending_ = false;
    scan_ = 0;
  }
  for (;;) {
    const size_t n = window_.size();
    const uint8_t *p = window_.data();
    const size_t at = find_start_code(p, n, scan_);
    if (at + 4 + kHeaderBytes > n && !window_.at_end()) {
      // Need more bytes: the unit so far stays in view.
      if (n > kMaxUnit) {
        // No end in sight: drop what is held and look for the next header.
        ++skipped_;
        window_.consume(n - 3);
        picture_ = {};
        scan_ = 0;
        continue;
      }
      if (at == n) scan_ = n >= 3 ? n - 3 : 0;
      window_.want(n + 1);
      continue;
    }
    if (at + 4 > n) {
      // The input ended: what is held is the last unit, if it has a picture.
      if (n == 0) return false;
      if (!picture_.seen) {
        ++skipped_;
        window_.consume(n);
        return false;
      }
      emit(unit, n);
      return true;
    }
    const uint8_t code = p[at + 3];
    if (picture_.seen && is_unit_start(code) && !(code == kPictureStart && second_field_)) {
      emit(unit, at);
      return true;
    }
    if (code == kPictureStart && second_field_) second_field_ = false;
    note_start_code(p + at, n - at);
    scan_ = at + 4;
  }
}

}  // namespace weavix
