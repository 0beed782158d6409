#include "tools/plugins/y4m/y4m_file.h"

#include <cstdlib>
#include <cstring>

namespace y4m {

namespace {

constexpr char kMagic[] = "YUV4MPEG2";
constexpr char kFrame[] = "FRAME";
constexpr size_t kMaxLine = 4096;
constexpr int32_t kMaxSide = 16384;

// One header line (up to the newline, which is consumed). false at the end
// or when the line is too long.
bool read_line(FILE *f, std::string *line) {
  line->clear();
  for (;;) {
    const int c = std::fgetc(f);
    if (c == EOF) return false;
    if (c == '\n') return true;
    if (line->size() >= kMaxLine) return false;
    line->push_back(static_cast<char>(c));
  }
}

}  // namespace

bool parse_header(const std::string &line, Header *out) {
  if (line.compare(0, sizeof kMagic - 1, kMagic) != 0) return false;
  Header h;
  bool chroma_ok = true;  // no C tag means 4:2:0
  size_t i = sizeof kMagic - 1;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t end = line.find(' ', i);
    if (end == std::string::npos) end = line.size();
    const std::string tag = line.substr(i, end - i);
    i = end;
    if (tag.empty()) continue;
    const char *v = tag.c_str() + 1;
    switch (tag[0]) {
      case 'W':
        h.width = std::atoi(v);
        break;
      case 'H':
        h.height = std::atoi(v);
        break;
      case 'F': {
        const char *colon = std::strchr(v, ':');
        if (!colon) return false;
        h.rate_num = std::atoi(v);
        h.rate_den = std::atoi(colon + 1);
        break;
      }
      case 'C':
        // 420, 420jpeg, 420mpeg2, 420paldv: 8-bit 4:2:0 (not 420p10, 420p12).
        chroma_ok = std::strncmp(v, "420", 3) == 0 && std::strncmp(v, "420p1", 5) != 0;
        break;
      default:
        break;  // interlacing, aspect, comments: not needed here
    }
  }
  if (!chroma_ok || h.width <= 0 || h.height <= 0 || h.width > kMaxSide || h.height > kMaxSide) return false;
  if ((h.width | h.height) & 1) return false;
  if (h.rate_num <= 0 || h.rate_den <= 0) return false;
  *out = h;
  return true;
}

File::~File() { close(); }

void File::close() {
  if (f_) std::fclose(f_);
  f_ = nullptr;
  offsets_.clear();
}

bool File::open(const char *path) {
  close();
  f_ = std::fopen(path, "rb");
  if (!f_) return false;
  std::string line;
  if (!read_line(f_, &line) || !parse_header(line, &h_)) {
    close();
    return false;
  }
  const int64_t picture_bytes = int64_t{h_.width} * h_.height * 3 / 2;
  const int64_t body = ftello(f_);
  if (fseeko(f_, 0, SEEK_END) != 0) {
    close();
    return false;
  }
  const int64_t size = ftello(f_);
  fseeko(f_, body, SEEK_SET);
  // Each picture: a FRAME line, then its planes; one cut short at the end
  // of the file is not a picture.
  while (read_line(f_, &line) && line.compare(0, sizeof kFrame - 1, kFrame) == 0) {
    const int64_t at = ftello(f_);
    if (at < 0 || at + picture_bytes > size) break;
    offsets_.push_back(at);
    if (fseeko(f_, at + picture_bytes, SEEK_SET) != 0) break;
  }
  return true;
}

int32_t File::time_of(int32_t i) const {
  return static_cast<int32_t>(int64_t{i} * 1000 * h_.rate_den / h_.rate_num);
}

int32_t File::picture_at(int64_t ms) const {
  if (ms <= 0) return 0;
  int64_t i = ms * h_.rate_num / (int64_t{1000} * h_.rate_den);
  if (i > pictures()) i = pictures();
  return static_cast<int32_t>(i);
}

bool File::read(int32_t i, std::vector<uint8_t> &planes) {
  if (!f_ || i < 0 || i >= pictures()) return false;
  const size_t bytes = static_cast<size_t>(h_.width) * h_.height * 3 / 2;
  planes.resize(bytes);
  if (fseeko(f_, offsets_[static_cast<size_t>(i)], SEEK_SET) != 0) return false;
  return std::fread(planes.data(), 1, bytes, f_) == bytes;
}

}  // namespace y4m
