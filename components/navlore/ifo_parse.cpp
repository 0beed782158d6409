// Information files are big-endian; offsets below are those of the DVD-Video
// format (title-set header, title table, program chain table).
#include "components/navlore/ifo_parse.h"

#include <cstring>

namespace navlore {

namespace {

constexpr size_t kSector = 2048;
// Title-set file.
constexpr size_t kTitleTableSector = 0xC8;
constexpr size_t kChainTableSector = 0xCC;
constexpr size_t kVideoAttributes = 0x200;
constexpr size_t kAudioCount = 0x202;
constexpr size_t kAudioAttributes = 0x204;
constexpr size_t kSpuCount = 0x254;
constexpr size_t kSpuAttributes = 0x256;
// Disc file.
constexpr size_t kDiscTitleTableSector = 0xC4;
// Program chain.
constexpr size_t kChainPrograms = 2, kChainCells = 3, kChainTime = 4, kChainAudio = 0x0C, kChainSpu = 0x1C,
                 kChainPalette = 0xA4, kChainProgramMap = 0xE6, kChainCellTable = 0xE8;
constexpr size_t kCellSize = 24;
constexpr int32_t kMaxChains = 999;

class Bytes {
 public:
  Bytes(const uint8_t *p, size_t n) : p_(p), n_(n) {}
  bool has(size_t at, size_t len) const { return at <= n_ && len <= n_ - at; }
  uint8_t u8(size_t at) const { return has(at, 1) ? p_[at] : 0; }
  uint16_t u16(size_t at) const { return has(at, 2) ? static_cast<uint16_t>(p_[at] << 8 | p_[at + 1]) : 0; }
  uint32_t u32(size_t at) const {
    return has(at, 4) ? static_cast<uint32_t>(p_[at]) << 24 | p_[at + 1] << 16 | p_[at + 2] << 8 | p_[at + 3]
                      : 0;
  }
  const uint8_t *at(size_t at) const { return p_ + at; }

 private:
  const uint8_t *p_;
  size_t n_;
};

int32_t bcd(uint8_t v) { return (v >> 4) * 10 + (v & 15); }

bool parse_chain(const Bytes &b, size_t at, Chain &c) {
  if (!b.has(at, 0xEC)) return false;
  const int32_t programs = b.u8(at + kChainPrograms);
  const int32_t cells = b.u8(at + kChainCells);
  c.ms = bcd_time_ms(b.at(at + kChainTime));
  for (int i = 0; i < 8; ++i) c.audio_control[i] = b.u16(at + kChainAudio + 2 * i);
  for (int i = 0; i < 32; ++i) c.spu_control[i] = b.u32(at + kChainSpu + 4 * i);
  for (int i = 0; i < 16; ++i) c.palette[i] = b.u32(at + kChainPalette + 4 * i);
  const size_t map = b.u16(at + kChainProgramMap);
  const size_t table = b.u16(at + kChainCellTable);
  if (cells > 0 && table != 0 && b.has(at + table, static_cast<size_t>(cells) * kCellSize)) {
    for (int32_t i = 0; i < cells; ++i) {
      const size_t cell = at + table + static_cast<size_t>(i) * kCellSize;
      Cell x;
      x.ms = bcd_time_ms(b.at(cell + 4));
      x.first = b.u32(cell + 8);
      const uint32_t last = b.u32(cell + 0x14);
      x.end = last >= x.first && last != UINT32_MAX ? last + 1 : x.first;
      c.cells.push_back(x);
    }
  }
  if (programs > 0 && map != 0 && b.has(at + map, static_cast<size_t>(programs))) {
    int32_t previous = 0;
    for (int32_t i = 0; i < programs; ++i) {
      const int32_t entry = b.u8(at + map + static_cast<size_t>(i));
      if (entry < 1 || entry > static_cast<int32_t>(c.cells.size()) || entry <= previous) break;
      c.program_cells.push_back(entry - 1);
      previous = entry;
    }
  }
  return true;
}

}  // namespace

int32_t bcd_time_ms(const uint8_t *t) {
  const int32_t rate = (t[3] >> 6) == 1 ? 25 : ((t[3] >> 6) == 3 ? 30 : 0);
  int32_t ms = bcd(t[0]) * 3600000 + bcd(t[1]) * 60000 + bcd(t[2]) * 1000;
  if (rate == 25) ms += bcd(t[3] & 0x3F) * 40;
  if (rate == 30) ms += bcd(t[3] & 0x3F) * 1000 * 1001 / 30000;
  return ms;
}

bool parse_title_set(const uint8_t *bytes, size_t size, SetInfo &out) {
  out = SetInfo{};
  const Bytes b(bytes, size);
  if (!b.has(kSpuAttributes, sizeof out.spu) || std::memcmp(bytes, "DVDVIDEO-VTS", 12) != 0) return false;
  out.video = b.u16(kVideoAttributes);
  // The count fields are 16 bits; anything past the record tables is clamped.
  out.audio_count = b.u16(kAudioCount) > 8 ? 8 : b.u16(kAudioCount);
  out.spu_count = b.u16(kSpuCount) > 32 ? 32 : b.u16(kSpuCount);
  std::memcpy(out.audio, b.at(kAudioAttributes), sizeof out.audio);
  std::memcpy(out.spu, b.at(kSpuAttributes), sizeof out.spu);

  const size_t pgcit = static_cast<size_t>(b.u32(kChainTableSector)) * kSector;
  if (pgcit == 0 || !b.has(pgcit, 8)) return false;
  const int32_t chains = b.u16(pgcit) > kMaxChains ? kMaxChains : b.u16(pgcit);
  for (int32_t i = 0; i < chains; ++i) {
    const size_t entry = pgcit + 8 + static_cast<size_t>(i) * 8;
    if (!b.has(entry, 8)) break;
    Chain c;
    if (!parse_chain(b, pgcit + b.u32(entry + 4), c)) break;
    out.chains.push_back(std::move(c));
  }
  if (out.chains.empty()) return false;

  const size_t ptt = static_cast<size_t>(b.u32(kTitleTableSector)) * kSector;
  if (ptt != 0 && b.has(ptt, 8)) {
    const int32_t titles = b.u16(ptt);
    for (int32_t i = 0; i < titles && i < kMaxChains; ++i) {
      const size_t off = ptt + 8 + static_cast<size_t>(i) * 4;
      if (!b.has(off, 4)) break;
      const size_t first = ptt + b.u32(off);
      const int32_t chain = b.has(first, 4) ? b.u16(first) - 1 : -1;
      out.title_chains.push_back(chain >= 0 && chain < static_cast<int32_t>(out.chains.size()) ? chain : -1);
    }
  }
  return true;
}

bool parse_disc(const uint8_t *bytes, size_t size, std::vector<DiscTitle> &out) {
  out.clear();
  const Bytes b(bytes, size);
  if (!b.has(0, 12) || std::memcmp(bytes, "DVDVIDEO-VMG", 12) != 0) return false;
  const size_t table = static_cast<size_t>(b.u32(kDiscTitleTableSector)) * kSector;
  if (table == 0 || !b.has(table, 8)) return false;
  const int32_t titles = b.u16(table);
  for (int32_t i = 0; i < titles && i < 99; ++i) {
    const size_t at = table + 8 + static_cast<size_t>(i) * 12;
    if (!b.has(at, 12)) break;
    DiscTitle t;
    t.set = b.u8(at + 6);
    t.set_title = b.u8(at + 7);
    if (t.set >= 1 && t.set <= 99 && t.set_title >= 1) out.push_back(t);
  }
  return true;
}

uint8_t audio_stream_id(const SetInfo &set, const Chain &chain, int32_t number) {
  if (number < 0 || number >= set.audio_count) return 0;
  const uint16_t control = chain.audio_control[number];
  if (!(control & 0x8000)) return 0;
  const uint8_t n = (control >> 8) & 7;
  switch (set.audio[number * 8] >> 5) {
    case 0:
      return static_cast<uint8_t>(0x80 + n);
    case 2:
    case 3:
      return static_cast<uint8_t>(0xC0 + n);
    case 4:
      return static_cast<uint8_t>(0xA0 + n);
    case 6:
      return static_cast<uint8_t>(0x88 + n);
    default:
      return 0;
  }
}

uint8_t spu_stream_id(const SetInfo &set, const Chain &chain, int32_t number) {
  if (number < 0 || number >= set.spu_count) return 0;
  const uint32_t control = chain.spu_control[number];
  if (!(control & 0x80000000u)) return 0;
  const uint32_t n = is_wide(set.video) ? (control >> 16) & 31 : (control >> 24) & 31;
  return static_cast<uint8_t>(0x20 + n);
}

std::vector<ChapterSpan> chain_chapters(const Chain &chain) {
  std::vector<ChapterSpan> out;
  const auto &p = chain.program_cells;
  int32_t start = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const int32_t first = p[i];
    const int32_t last = (i + 1 < p.size() ? p[i + 1] : static_cast<int32_t>(chain.cells.size())) - 1;
    ChapterSpan c;
    c.first = chain.cells[static_cast<size_t>(first)].first;
    c.end = chain.cells[static_cast<size_t>(last)].end;
    c.start_ms = start;
    for (int32_t k = first; k <= last; ++k) c.length_ms += chain.cells[static_cast<size_t>(k)].ms;
    start += c.length_ms;
    out.push_back(c);
  }
  return out;
}

}  // namespace navlore
