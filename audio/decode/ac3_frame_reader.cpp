#include "audio/decode/ac3_frame_reader.h"

#include <cstring>

namespace lunaret {

void Ac3FrameReader::set_source(ReadFn read, void *ctx) {
  read_ = read;
  ctx_ = ctx;
}

void Ac3FrameReader::reset() {
  pos_ = end_ = 0;
  ended_ = false;
  first_ = true;
  kept_ = false;
}

// Makes n bytes available from pos_ if the input has them.
bool Ac3FrameReader::available(int32_t n) {
  while (end_ - pos_ < n && !ended_) {
    if (pos_ > 0) {
      std::memmove(buf_, buf_ + pos_, static_cast<size_t>(end_ - pos_));
      end_ -= pos_;
      pos_ = 0;
    }
    // The media layer may write a few bytes past a short final read.
    int32_t room = static_cast<int32_t>(sizeof(buf_)) - kReadSlack - end_;
    if (room > kReadBytes) room = kReadBytes;
    int32_t got = read_ ? read_(ctx_, buf_ + end_, room) : 0;
    if (got <= 0) {
      ended_ = true;
      break;
    }
    end_ += got > room ? room : got;
  }
  return end_ - pos_ >= n;
}

// Leaves pos_ at the start of the next usable frame.
bool Ac3FrameReader::find_frame(ac3::FrameHeader *header) {
  for (;;) {
    if (!available(2)) return false;
    int32_t i = pos_;
    while (i + 1 < end_ && !(buf_[i] == ac3::kSync0 && buf_[i + 1] == ac3::kSync1)) ++i;
    pos_ = i;
    if (i + 1 >= end_) continue;  // the last byte may start a sync word
    if (!available(ac3::kHeaderBytes)) return false;
    ac3::FrameHeader h = ac3::parse_header(buf_ + pos_);
    if (h.bytes == 0) {
      pos_ += 2;
      continue;
    }
    if (first_) {
      // Confirmed by the next frame's sync word, or by the input ending
      // exactly at the frame's end.
      bool more = available(h.bytes + 2);
      bool confirmed = more ? buf_[pos_ + h.bytes] == ac3::kSync0 && buf_[pos_ + h.bytes + 1] == ac3::kSync1
                            : end_ - pos_ == h.bytes;
      if (!confirmed) {
        pos_ += 2;
        continue;
      }
      first_ = false;
    }
    if (!available(h.bytes)) {
      pos_ = end_;  // cut short by the end of the input
      return false;
    }
    *header = h;
    return true;
  }
}

bool Ac3FrameReader::probe(ac3::FrameHeader *header) {
  if (kept_) return available(ac3::kHeaderBytes) && (*header = ac3::parse_header(buf_ + pos_)).bytes > 0;
  kept_ = find_frame(header);
  return kept_;
}

bool Ac3FrameReader::next_frame(uint8_t *frame, ac3::FrameHeader *header) {
  ac3::FrameHeader h;
  if (kept_) {
    kept_ = false;
    h = ac3::parse_header(buf_ + pos_);
  } else if (!find_frame(&h)) {
    return false;
  }
  std::memcpy(frame, buf_ + pos_, static_cast<size_t>(h.bytes));
  pos_ += h.bytes;
  if (header) *header = h;
  return true;
}

}  // namespace lunaret
