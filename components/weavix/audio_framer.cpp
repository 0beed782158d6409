#include "components/weavix/audio_framer.h"

#include "common/mpeg_audio/header_tables.h"

namespace weavix {

bool parse_audio_header(const uint8_t *p, AudioHeader &h) {
  if (p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) return false;  // MPEG-2.5 has a shorter sync
  h.id = (p[1] >> 3) & 1;
  const int layer_bits = (p[1] >> 1) & 3;
  h.bitrate_index = p[2] >> 4;
  h.sampling_index = (p[2] >> 2) & 3;
  h.padding = (p[2] >> 1) & 1;
  h.channels = (p[3] >> 6) == 3 ? 1 : 2;
  if (layer_bits == 0) return false;
  h.layer = 4 - layer_bits;
  h.bytes = mpeg_audio::frame_bytes(h.id, h.layer, h.bitrate_index, h.sampling_index, h.padding);
  return h.bytes > 4;
}

bool AudioFramer::matches(const uint8_t *p, AudioHeader &h) const {
  return parse_audio_header(p, h) && h.id == info_.id && h.layer == info_.layer &&
         mpeg_audio::kSampleRates[h.id * 4 + h.sampling_index] == info_.sample_rate;
}

bool AudioFramer::start(size_t search) {
  window_.want(search);
  const uint8_t *p = window_.data();
  const size_t n = window_.size();
  for (size_t at = 0; at + 4 <= n; ++at) {
    AudioHeader first;
    if (!parse_audio_header(p + at, first)) continue;
    const size_t next = at + size_t(first.bytes);
    AudioHeader second;
    // A lone frame that fills the input is a stream too.
    const bool alone = next == n && window_.at_end();
    if (!alone && (next + 4 > n || !parse_audio_header(p + next, second) || second.id != first.id ||
                   second.layer != first.layer || second.sampling_index != first.sampling_index))
      continue;
    if (at > 0) {
      ++skipped_;
      window_.consume(at);
    }
    info_.id = first.id;
    info_.layer = first.layer;
    info_.sample_rate = mpeg_audio::kSampleRates[first.id * 4 + first.sampling_index];
    info_.channels = first.channels;
    info_.bit_rate_kbps = mpeg_audio::kBitRates[first.id][first.layer - 1][first.bitrate_index];
    return true;
  }
  return false;
}

bool AudioFramer::next(AudioUnit &unit) {
  window_.consume(pending_);
  pending_ = 0;
  for (;;) {
    if (!window_.want(4)) {
      if (window_.size() > 0) ++skipped_;  // a cut-off frame at the end
      window_.consume(window_.size());
      return false;
    }
    AudioHeader h;
    bool ok = matches(window_.data(), h);
    if (ok) {
      const size_t len = size_t(h.bytes);
      // After damage, a frame counts only when the next header follows it.
      if (!in_sync_) {
        const bool have_next = window_.want(len + 4);
        AudioHeader next;
        ok = have_next ? matches(window_.data() + len, next) : window_.size() == len;
      }
      if (ok && window_.want(len)) {
        in_sync_ = true;
        unit.data = window_.data();
        unit.size = len;
        unit.pts = offset_ + (samples_ * 90000 + info_.sample_rate / 2) / info_.sample_rate;
        samples_ += mpeg_audio::samples_per_frame(info_.id, info_.layer);
        pending_ = len;
        return true;
      }
      if (ok) {
        // The last frame is cut off.
        ++skipped_;
        window_.consume(window_.size());
        return false;
      }
    }
    if (in_sync_) ++skipped_;
    in_sync_ = false;
    window_.consume(1);
  }
}

}  // namespace weavix
