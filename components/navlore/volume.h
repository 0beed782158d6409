// A DVD volume (folder, ISO image or device) opened through libdvdread,
// silently, and its information files read whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct dvd_reader_s;

namespace navlore {

class Volume {
 public:
  // path: a folder holding VIDEO_TS, the VIDEO_TS folder, an image, a
  // device, or a drive of the drive map ("X:", "X:/VIDEO_TS/...").
  explicit Volume(const std::string &path);
  ~Volume();
  Volume(const Volume &) = delete;
  Volume &operator=(const Volume &) = delete;

  bool ok() const { return reader_ != nullptr; }
  // The information file of title set `set` (0: the disc's), falling back
  // to its backup copy when the first is missing or `accept` refuses it.
  template <typename Accept>
  bool read_info(int32_t set, std::vector<uint8_t> &out, Accept accept) {
    return (read_file(set, false, out) && accept(out)) || (read_file(set, true, out) && accept(out));
  }
  // Bytes of the set's title VOBs together, 0 when unknown.
  int64_t title_vob_bytes(int32_t set);

 private:
  bool read_file(int32_t set, bool backup, std::vector<uint8_t> &out);
  dvd_reader_s *reader_ = nullptr;
};

// The volume a path belongs to: a drive path gives its mapped device or
// image; a file path gives the folder that holds it.
std::string volume_of_file(const std::string &path);

}  // namespace navlore
