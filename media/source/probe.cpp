#include "media/source/probe.h"

#include "components/sectrel/sectrel.h"
#include "media/source/avi_source.h"
#include "media/source/content_probe.h"
#include "media/source/disc_file.h"
#include "media/source/sector_api.h"
#include "media/state.h"
#include "platform/file.h"

namespace dravik {

namespace {

class FileProbeInput : public ProbeInput {
 public:
  explicit FileProbeInput(int fd) : fd_(fd) {}
  int32_t read(void *buf, int32_t len) override { return platform::file_read(fd_, buf, len); }
  bool seek(int64_t pos) override { return platform::file_seek(fd_, pos, 0) == pos; }

 private:
  int fd_;
};

// A file of a mapped drive, read by sectors.
class DiscProbeInput : public ProbeInput {
 public:
  explicit DiscProbeInput(const DiscFile &file) : file_(file) {}
  int32_t read(void *buf, int32_t len) override {
    int32_t n = read_disc_file(file_, pos_, static_cast<uint8_t *>(buf), len);
    pos_ += n;
    return n;
  }
  bool seek(int64_t pos) override {
    if (pos < 0 || pos > file_.size) return false;
    pos_ = pos;
    return true;
  }

 private:
  const DiscFile &file_;
  int64_t pos_ = 0;
};

void put(int32_t *length, int32_t value) {
  if (length) *length = value;
}

// The content probe of the MPEG path: the host's probe hook first, then the
// file's bytes.
SourceKind probe_content(State &s, const std::string &name, int32_t *length) {
  if (s.hooks.probe_hook) {
    int32_t size = 0;
    int32_t word = 0;
    int32_t kind = s.hooks.probe_hook(name.c_str(), &size, &word);
    if (kind != -1) {
      put(length, size);
      if (kind == SOURCE_KIND_AUDIO && word) s.settings.audio_header_word = word;
      return kind;
    }
  }
  if (auto disc = find_disc_file(name)) {
    put(length, static_cast<int32_t>(disc->size));
    DiscProbeInput in(*disc);
    ContentVerdict v = classify_content(in);
    if (v.kind == SOURCE_KIND_AUDIO) s.settings.audio_header_word = v.header_word;
    return v.kind;
  }
  int fd = platform::file_open(name.c_str());
  if (fd < 0) return SOURCE_KIND_CANNOT_OPEN;
  int64_t size = platform::file_size(fd);
  put(length, static_cast<int32_t>(size));  // the low 32 bits
  FileProbeInput in(fd);
  ContentVerdict v = classify_content(in);
  platform::file_close(fd);
  if (v.kind == SOURCE_KIND_AUDIO) s.settings.audio_header_word = v.header_word;
  return v.kind;
}

}  // namespace

SourceKind probe_source(State &s, const PathForm &path, int32_t *length) {
  s.next_opener = Opener::mpeg;
  switch (path.kind) {
    case PathKind::refused:
      return SOURCE_KIND_CANNOT_OPEN;
    case PathKind::joined_set:
      put(length, joined_set_size(path.sectors).size);
      return SOURCE_KIND_SYSTEM;
    default:
      break;
  }
  if (path.kind == PathKind::file && has_extension(path.name, "AVI")) {
    int32_t duration = 0;
    int32_t kind = avi_probe(path.name.c_str(), &duration);
    if (kind != SOURCE_KIND_NOTHING) {
      put(length, duration);
      s.next_opener = Opener::avi;
      return kind;
    }
  }
  if (path.kind == PathKind::track_player) {
    int32_t sectors = sector_api().command(path.drive, SECTREL_CMD_TRACK_LENGTH, path.track);
    put(length, static_cast<int32_t>(static_cast<int64_t>(sectors) * kRawSectorBytes));
    return SOURCE_KIND_SYSTEM;
  }
  if (path.kind == PathKind::dvb) return SOURCE_KIND_NOTHING;  // no DVB library loaded
  if (has_extension(path.name, "VOB")) {
    auto disc = find_disc_file(path.name);
    int64_t size = disc ? disc->size : platform::file_size(path.name.c_str());
    if (size < 0) return SOURCE_KIND_CANNOT_OPEN;
    put(length, static_cast<int32_t>(size));
    return SOURCE_KIND_SYSTEM;
  }
  return probe_content(s, path.name, length);
}

}  // namespace dravik
