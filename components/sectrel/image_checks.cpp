#include "components/sectrel/image_checks.h"

#include <cctype>
#include <cstring>

namespace sectrel {

namespace {

constexpr int kMaxTrack = 99;
constexpr uint64_t kMaxNrgChunks = 4096;  // libcdio asserts the list fits in 4 KiB

uint32_t be32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool id_is(const uint8_t *p, const char *id) { return std::memcmp(p, id, 4) == 0; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string upper(std::string_view s) {
  std::string r(s);
  for (char &c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

// Next blank-separated word of line (a quoted word keeps its blanks).
std::string_view next_word(std::string_view &line) {
  line = trim(line);
  if (line.empty()) return {};
  if (line.front() == '"') {
    size_t end = line.find('"', 1);
    if (end == std::string_view::npos) end = line.size();
    std::string_view w = line.substr(1, end - 1);
    line.remove_prefix(end < line.size() ? end + 1 : end);
    return w;
  }
  size_t end = 0;
  while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
  std::string_view w = line.substr(0, end);
  line.remove_prefix(end);
  return w;
}

bool parse_number(std::string_view s, int max_digits, int *out) {
  if (s.empty() || static_cast<int>(s.size()) > max_digits) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// "mm:ss:ff" -> sectors, -1 when malformed.
int32_t parse_msf(std::string_view s) {
  int m = 0, sec = 0, f = 0;
  size_t a = s.find(':');
  size_t b = a == std::string_view::npos ? a : s.find(':', a + 1);
  if (b == std::string_view::npos) return -1;
  if (!parse_number(s.substr(0, a), 4, &m) || !parse_number(s.substr(a + 1, b - a - 1), 2, &sec) ||
      !parse_number(s.substr(b + 1), 2, &f))
    return -1;
  if (sec >= 60 || f >= 75) return -1;
  return m * 4500 + sec * 75 + f;
}

CueSheet refuse(CueSheet sheet, std::string reason) {
  sheet.ok = false;
  sheet.reason = std::move(reason);
  sheet.tracks.clear();
  return sheet;
}

}  // namespace

int cue_mode_sector_bytes(std::string_view mode) {
  const std::string m = upper(mode);
  if (m == "AUDIO" || m == "MODE1/2352" || m == "MODE2/2352" || m == "CDI/2352") return 2352;
  if (m == "MODE2/2336" || m == "CDI/2336") return 2336;
  if (m == "MODE1/2048" || m == "MODE2/2048") return 2048;
  return 0;
}

CueSheet parse_cue(std::string_view text, int64_t image_bytes) {
  CueSheet sheet;
  int files = 0;
  bool have_index1 = true;
  while (!text.empty()) {
    size_t eol = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    const std::string keyword = upper(next_word(line));
    if (keyword == "FILE") {
      if (++files > 1) return refuse(sheet, "more than one FILE in the cue sheet");
      sheet.file = std::string(next_word(line));
    } else if (keyword == "TRACK") {
      if (!have_index1) return refuse(sheet, "a track without INDEX 01");
      int number = 0;
      if (!parse_number(next_word(line), 2, &number) || number < 1 || number > kMaxTrack)
        return refuse(sheet, "a track number outside 1..99");
      if (!sheet.tracks.empty() && number <= sheet.tracks.back().number)
        return refuse(sheet, "tracks out of order");
      if (files == 0) return refuse(sheet, "a track before any FILE");
      CueTrack t;
      t.number = number;
      t.mode = std::string(next_word(line));
      t.sector_bytes = cue_mode_sector_bytes(t.mode);
      if (t.sector_bytes == 0) return refuse(sheet, "unknown track mode " + t.mode);
      sheet.tracks.push_back(t);
      have_index1 = false;
    } else if (keyword == "INDEX") {
      if (sheet.tracks.empty()) return refuse(sheet, "an INDEX before any TRACK");
      int index = 0;
      if (!parse_number(next_word(line), 2, &index)) return refuse(sheet, "a malformed INDEX");
      const int32_t at = parse_msf(next_word(line));
      if (at < 0) return refuse(sheet, "a malformed INDEX position");
      if (index == 1) {
        CueTrack &t = sheet.tracks.back();
        t.start = at;
        have_index1 = true;
        if (sheet.tracks.size() > 1 && at <= sheet.tracks[sheet.tracks.size() - 2].start)
          return refuse(sheet, "a track that starts before the one ahead of it");
      }
    }
  }
  if (sheet.tracks.empty()) return refuse(sheet, "no track in the cue sheet");
  if (!have_index1) return refuse(sheet, "a track without INDEX 01");
  int n2336 = 0;
  for (const CueTrack &t : sheet.tracks) n2336 += t.sector_bytes == 2336;
  if (n2336 && n2336 != static_cast<int>(sheet.tracks.size()))
    return refuse(sheet, "MODE2/2336 tracks mixed with other modes");
  sheet.mode2_2336 = n2336 > 0;
  if (image_bytes >= 0) {
    // Positions count sectors of the one file; all tracks must start
    // before its end (the lead-out).
    const int64_t sectors = image_bytes / sheet.tracks.front().sector_bytes;
    for (const CueTrack &t : sheet.tracks)
      if (t.start >= sectors) return refuse(sheet, "a track at or past the end of the image");
  }
  sheet.ok = true;
  return sheet;
}

int64_t nrg_chunk_offset(const uint8_t footer[12], uint64_t file_bytes) {
  uint64_t offset = 0;
  if (id_is(footer + 4, "NERO")) {
    offset = be32(footer + 8);
  } else if (id_is(footer, "NER5")) {
    offset = static_cast<uint64_t>(be32(footer + 4)) << 32 | be32(footer + 8);
  } else {
    return -1;
  }
  if (offset >= file_bytes) return -1;
  return static_cast<int64_t>(offset);
}

std::string check_nrg(const uint8_t *tail, size_t tail_len, uint64_t tail_offset, uint64_t file_bytes) {
  if (file_bytes < 12 || tail_offset + tail_len != file_bytes || tail_len < 12) return "no NRG footer";
  const int64_t start = nrg_chunk_offset(tail + tail_len - 12, file_bytes);
  if (start < 0) return "no NRG footer";
  if (static_cast<uint64_t>(start) < tail_offset) return "NRG chunk list not read";
  const uint64_t region = file_bytes - static_cast<uint64_t>(start);
  if (region > kMaxNrgChunks) return "NRG chunk list longer than 4 KiB";
  const uint8_t *p = tail + (static_cast<uint64_t>(start) - tail_offset);
  uint64_t pos = 0;
  bool have_map = false;  // a CUES, CUEX, ETNF or ETN2 chunk was seen
  uint32_t tracks = 0;
  while (pos + 8 <= region) {
    const uint8_t *chunk = p + pos;
    const uint32_t len = be32(chunk + 4);
    if (id_is(chunk, "END!")) return {};
    if (pos + 8 + len > region) return "NRG chunk runs past the end of the file";
    const uint8_t *data = chunk + 8;
    if (id_is(chunk, "CUES") || id_is(chunk, "CUEX")) {
      if (have_map) return "NRG track list given twice";
      if (len % 8 != 0 || len / 8 < 2) return "NRG cue chunk of a wrong length";
      const uint32_t entries = len / 8;
      if (id_is(chunk, "CUES")) {
        for (uint32_t i = 1; i + 1 < entries; i += 2) {
          if (data[i * 8 + 1] != data[(i + 1) * 8 + 1]) return "NRG cue entries disagree";
          ++tracks;
        }
      } else {
        if (entries % 2 != 0) return "NRG cue chunk of a wrong length";
        if (be32(data + 4) != 0xFFFFFF6Au) return "NRG cue list does not start at -150";
        for (uint32_t i = 2; i + 1 < entries; i += 2) {
          const int format = data[i * 8 + 2] >> 4;
          if (format != 0 && format != 1) return "NRG cue entry of an unknown format";
          if (data[i * 8 + 1] == data[(i + 1) * 8 + 1]) return "NRG cue entries disagree";
          ++tracks;
        }
      }
      have_map = true;
    } else if (id_is(chunk, "ETNF") || id_is(chunk, "ETN2")) {
      if (have_map) return "NRG track list given twice";
      const bool v2 = id_is(chunk, "ETN2");
      const uint32_t size = v2 ? 32 : 20;
      if (len % size != 0) return "NRG track chunk of a wrong length";
      for (uint32_t i = 0; i < len / size; ++i) {
        const uint8_t *e = data + i * size;
        const uint32_t mode = be32(e + (v2 ? 16 : 12));
        uint32_t block = 0;
        switch (mode) {
          case 0:
          case 2:
            block = 2048;
            break;
          case 3:
          case 6:
          case 0x20:
            block = 2336;
            break;
          case 7:
            block = 2352;
            break;
          default:
            return "NRG track of an unknown mode";
        }
        if (v2 && (mode == 6 || mode == 0x20)) return "NRG track of an unknown mode";
        if (!v2) {
          const uint64_t start2 = be32(e), length = be32(e + 4), start_lsn = be32(e + 16);
          if (length % block != 0 || start_lsn * block != start2) return "NRG track of inconsistent sizes";
        }
        ++tracks;
      }
      have_map = true;
    } else if (id_is(chunk, "DAOI") || id_is(chunk, "DAOX")) {
      const uint64_t per = id_is(chunk, "DAOX") ? 42 : 30;
      const uint64_t need = 22 + per * (tracks ? tracks : 1);
      if (len < need) return "NRG disc-at-once chunk too short for its tracks";
    } else if (id_is(chunk, "SINF") || id_is(chunk, "MTYP")) {
      if (len != 4) return "NRG chunk of a wrong length";
    } else {
      // NERO/NER5 inside the list, CD-TEXT and anything unknown.
      return "NRG chunk not read here";
    }
    if (tracks > static_cast<uint32_t>(kMaxTrack)) return "more than 99 tracks";
    pos += 8 + static_cast<uint64_t>(len);
  }
  return "NRG chunk list without an end";
}

}  // namespace sectrel
