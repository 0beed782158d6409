#include "media/source/content_probe.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/ac3/ac3_tables.h"

namespace dravik {

namespace {

constexpr size_t kWindow = 0x10000;
constexpr int32_t kHeaderBytes = 44;
constexpr int32_t kRestBytes = kWindow - kHeaderBytes;  // 65492
constexpr size_t kTsLead = 564;                         // three packets of 188 must follow a sync
// The content tests look no further into a source than the opening
// analysis does: a file or device of zeros ends the search here, not at
// its end (which a device may not have).
constexpr int64_t kPrefixBytes = int64_t{16} << 20;
// A short window cannot prove a stream with a few repeats; a full one needs
// more than this many matching headers.
constexpr int32_t kFullWindowMatches = 20;

bool tag(const uint8_t *p, const char *t) { return std::memcmp(p, t, 4) == 0; }

bool start_code(const uint8_t *w, size_t i, uint8_t code) {
  return w[i] == 0 && w[i + 1] == 0 && w[i + 2] == 1 && w[i + 3] == code;
}

bool is_prefix(const uint8_t *w, size_t i) { return w[i] == 0 && w[i + 1] == 0 && w[i + 2] == 1; }

// Reads until len bytes arrived or the input ends.
int32_t read_full(ProbeInput &in, uint8_t *buf, int32_t len) {
  int32_t got = 0;
  while (got < len) {
    int32_t r = in.read(buf + got, len - got);
    if (r <= 0) return got > 0 ? got : r;
    got += r;
  }
  return got;
}

bool mpeg_audio_candidate(const uint8_t *p) {
  static constexpr bool kSecond[16] = {false, false, true, true, true, true, true, true,
                                       false, false, true, true, true, true, true, true};
  if (p[0] != 0xFF || (p[1] & 0xF0) != 0xF0 || !kSecond[p[1] & 0x0F]) return false;
  const int bitrate = p[2] >> 4;
  if (bitrate == 0 || bitrate == 15) return false;
  if (((p[2] >> 2) & 3) == 3) return false;
  return (p[3] & 3) != 2;
}

uint32_t masked_header(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2] & 0xFC) << 8 | (p[3] & 0x0F);
}

}  // namespace

bool is_system_stream(const uint8_t *w, size_t n) {
  if (n < 4) return false;
  size_t i = 0;
  for (; i + 4 <= n; ++i)
    if (start_code(w, i, 0xBA)) break;
  if (i + 4 > n) return false;
  int packs = 0;
  for (i += 4; i + 4 <= n; ++i) {
    if (!is_prefix(w, i)) continue;
    switch (w[i + 3]) {
      case 0xB3:
      case 0xB8:
      case 0xBB:
      case 0xC0:
      case 0xE0:
        return true;
      case 0xBA:
        if (++packs > 4) return true;
        break;
      default:
        break;
    }
  }
  return false;
}

bool is_transport_stream(const uint8_t *w, size_t n) {
  if (n <= kTsLead) return false;
  const size_t limit = n - kTsLead;
  for (size_t i = 0; i < limit; ++i) {
    if (w[i] != 0x47) continue;
    size_t j = i + 188;
    while (j < n && w[j] == 0x47) j += 188;
    if (j >= n) return true;
  }
  return false;
}

bool is_video_elementary(const uint8_t *w, size_t n) {
  // Counting starts at the first sequence header, GOP header or slice 3.
  // Picture start codes count as well: an encoder that writes one slice per
  // picture and long GOPs leaves a single sequence header and GOP header in
  // the first 64 KiB, and no slice 3 at all.
  int count = 0;
  for (size_t i = 0; i + 4 <= n; ++i) {
    if (!is_prefix(w, i)) continue;
    const uint8_t c = w[i + 3];
    const bool anchor = c == 0xB3 || c == 0xB8 || c == 0x03;
    if (anchor || (count > 0 && c == 0x00)) {
      if (++count > 2) return true;
    }
  }
  return false;
}

int32_t find_mpeg_audio(const uint8_t *w, size_t n, bool full, size_t *at) {
  if (n < 4) return 0;
  const size_t positions = n - 3;
  // Masked header at every position that starts with 0xFF, sorted by
  // (header, position): the matches after a candidate are then one range
  // away, so a window full of near-headers costs n log n, not n squared.
  std::vector<std::pair<uint32_t, uint32_t>> keys;
  for (size_t p = 0; p < positions; ++p)
    if (w[p] == 0xFF) keys.emplace_back(masked_header(w + p), static_cast<uint32_t>(p));
  std::sort(keys.begin(), keys.end());
  for (size_t p = 0; p < positions; ++p) {
    const uint8_t *b = w + p;
    if (b[0] == 0xFF && b[1] == 0xFF && ((b[2] & 0x0F) == 0 || (b[2] & 0x0F) == 0x0F)) continue;
    if (!mpeg_audio_candidate(b)) continue;
    const std::pair<uint32_t, uint32_t> self{masked_header(b), static_cast<uint32_t>(p)};
    auto from = std::lower_bound(keys.begin(), keys.end(), self);
    auto to =
        std::upper_bound(keys.begin(), keys.end(), std::pair<uint32_t, uint32_t>{self.first, UINT32_MAX});
    const auto count = to - from;  // the candidate and every later match
    if (!full || count > kFullWindowMatches) {
      if (at) *at = p;
      return b[0] << 8 | b[1];
    }
  }
  return 0;
}

size_t first_ac3(const uint8_t *w, size_t n) {
  for (size_t i = 0; i + 1 < n; ++i)
    if (w[i] == 0x0B && w[i + 1] == 0x77) return i;
  return n;
}

bool find_ac3(const uint8_t *w, size_t n, bool full) {
  const size_t first = first_ac3(w, n);
  if (first == n) return false;
  if (!full) return true;
  // Long frames (32 kHz at 576 or 640 kbit/s: 3,456 or 3,840 bytes) fit
  // fewer than 20 times into the window: the count asked for follows the
  // first frame's length.
  int32_t need = kFullWindowMatches;
  const int32_t frame = first + 4 < n ? ac3::frame_bytes(w[first + 4]) : 0;
  if (frame > 0) need = std::min<int32_t>(need, static_cast<int32_t>(kWindow / frame) * 2 / 3);
  int32_t count = 0;
  for (size_t i = first; i + 1 < n; ++i) {
    if (w[i] == 0x0B && w[i + 1] == 0x77 && ++count > need) return true;
  }
  return false;
}

ContentVerdict classify_content(ProbeInput &in) {
  // One spare word of zeros after the window keeps the word scan inside.
  auto window = std::make_unique<uint8_t[]>(kWindow + 8);
  uint8_t *w = window.get();
  std::memset(w, 0, kWindow + 8);
  ContentVerdict v;

  int32_t n = read_full(in, w, kHeaderBytes);
  if (n < 0) return {SOURCE_KIND_CANNOT_OPEN, 0};
  if (n >= 16 && tag(w, "RIFF") && tag(w + 8, "CDXA") && tag(w + 12, "fmt ")) return {SOURCE_KIND_SYSTEM, 0};
  if (n >= 22 && tag(w, "RIFF") && tag(w + 8, "WAVE") && tag(w + 12, "fmt ")) {
    const int format = w[20] | w[21] << 8;
    if ((format & 0xFFF0) == 0x50) {
      int32_t more = n == kHeaderBytes ? read_full(in, w + n, kRestBytes) : 0;
      if (more > 0) n += more;
      int32_t word = find_mpeg_audio(w, n, static_cast<size_t>(n) >= kWindow);
      if (word) return {SOURCE_KIND_AUDIO, word};
      return v;
    }
  }
  if (n == kHeaderBytes) {
    int32_t more = read_full(in, w + n, kRestBytes);
    if (more > 0) n += more;
  }

  // Skip leading zeros: a window of zeros is followed by the next one, up
  // to the prefix bound ("nothing playable" beyond it).
  int64_t base = 0;
  int64_t first_word = -1;
  for (;;) {
    for (int32_t i = 0; i < n; i += 4) {
      if (w[i] | w[i + 1] | w[i + 2] | w[i + 3]) {
        first_word = i;
        break;
      }
    }
    if (first_word >= 0) break;
    base += n;
    if (base >= kPrefixBytes) return v;
    std::memset(w, 0, kWindow);
    n = read_full(in, w, kWindow);
    if (n <= 0) return {SOURCE_KIND_CANNOT_OPEN, 0};
  }
  if (base + first_word != 0) {
    if (!in.seek(base + first_word)) return {SOURCE_KIND_CANNOT_OPEN, 0};
    std::memset(w, 0, kWindow);
    n = read_full(in, w, kWindow);
    if (n <= 0) return {SOURCE_KIND_CANNOT_OPEN, 0};
  }

  const size_t len = static_cast<size_t>(n);
  const bool full = len >= kWindow;
  if (is_system_stream(w, len) || is_transport_stream(w, len)) return {SOURCE_KIND_SYSTEM, 0};
  if (is_video_elementary(w, len)) return {SOURCE_KIND_VIDEO, 0};
  size_t mpeg_at = 0;
  const int32_t word = find_mpeg_audio(w, len, full, &mpeg_at);
  // A short window accepts a single MPEG audio header, which AC-3 data can
  // hold by chance; there the sync word found first decides, so that a
  // short AC-3 file keeps its AC-3 header word.
  if (word && !full && find_ac3(w, len, full) && first_ac3(w, len) < mpeg_at)
    return {SOURCE_KIND_AUDIO, 0x0B77};
  if (word) return {SOURCE_KIND_AUDIO, word};
  if (find_ac3(w, len, full)) return {SOURCE_KIND_AUDIO, 0x0B77};
  return v;
}

}  // namespace dravik
