// A YUV4MPEG2 file of 4:2:0 pictures: its header, the place of every
// picture, and reading one picture's planes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace y4m {

struct Header {
  int32_t width = 0;
  int32_t height = 0;
  int32_t rate_num = 25;
  int32_t rate_den = 1;
};

/// Parses the stream header line (without its newline). false unless it is
/// a YUV4MPEG2 header of 4:2:0 pictures with a sane size and rate.
bool parse_header(const std::string &line, Header *out);

class File {
 public:
  File() = default;
  ~File();
  File(const File &) = delete;
  File &operator=(const File &) = delete;

  /// Opens path and finds its pictures. false when it is not a 4:2:0
  /// YUV4MPEG2 file.
  bool open(const char *path);
  void close();
  bool is_open() const { return f_ != nullptr; }

  const Header &header() const { return h_; }
  int32_t pictures() const { return static_cast<int32_t>(offsets_.size()); }
  /// Start of picture i in ms, and the picture shown at ms (clamped).
  int32_t time_of(int32_t i) const;
  int32_t picture_at(int64_t ms) const;
  int32_t duration_ms() const { return time_of(pictures()); }
  /// Reads picture i into planes (Y, then Cb, then Cr, packed). false at
  /// the end or on a short file.
  bool read(int32_t i, std::vector<uint8_t> &planes);

 private:
  FILE *f_ = nullptr;
  Header h_;
  std::vector<int64_t> offsets_;  // where each picture's bytes start
};

}  // namespace y4m
