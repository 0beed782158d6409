#include "media/source/probe.h"

#include "components/sectrel/sectrel.h"
#include "media/hooks/dvb_link.h"
#include "media/hooks/file_layer.h"
#include "media/hooks/hook_call.h"
#include "media/hooks/plugins.h"
#include "media/source/avi_source.h"
#include "media/source/content_probe.h"
#include "media/source/disc_file.h"
#include "media/source/export_size.h"
#include "media/source/sector_api.h"
#include "media/state.h"
#include "platform/file.h"

namespace dravik {

namespace {

// A file opened through the file layer's 16-bit family.
class FileProbeInput : public ProbeInput {
 public:
  explicit FileProbeInput(const LayerFile &f) : f_(f) {}
  int32_t read(void *buf, int32_t len) override { return layer_read16(f_, buf, len); }
  bool seek(int64_t pos) override { return layer_seek16(f_, pos, 0) == pos; }

 private:
  const LayerFile &f_;
};

// Size of a file opened for probing: the end's position, back at the start.
int64_t probe_file_size(const LayerFile &f) {
  const int64_t size = layer_seek16(f, 0, 2);
  if (layer_seek16(f, 0, 0) != 0) return -1;
  return size;
}

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
    int32_t kind;
    {
      HookCall mark;
      kind = s.hooks.probe_hook(name.c_str(), &size, &word);
    }
    // An answer outside the kinds counts as none.
    if (kind >= SOURCE_KIND_SYSTEM && kind <= SOURCE_KIND_NOTHING) {
      put(length, size);
      if (kind == SOURCE_KIND_AUDIO && word) s.settings.audio_header_word = word;
      return kind;
    }
  }
  if (auto disc = find_disc_file(name)) {
    put(length, saturate_int32(disc->size));
    DiscProbeInput in(*disc);
    ContentVerdict v = classify_content(in);
    if (v.kind == SOURCE_KIND_AUDIO) s.settings.audio_header_word = v.header_word;
    return v.kind;
  }
  LayerFile f = layer_open16(s.hooks, name.c_str());
  if (!f.is_open()) return SOURCE_KIND_CANNOT_OPEN;
  const int64_t size = probe_file_size(f);
  if (size < 0) {
    layer_close16(f);
    return SOURCE_KIND_CANNOT_OPEN;
  }
  put(length, saturate_int32(size));
  FileProbeInput in(f);
  ContentVerdict v = classify_content(in);
  layer_close16(f);
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
  if (path.kind == PathKind::file) {
    if (auto kind = offer_to_plugins(s, path.name, length)) return *kind;
  }
  if (path.kind == PathKind::track_player) {
    int32_t sectors = sector_api().command(path.drive, SECTREL_CMD_TRACK_LENGTH, path.track);
    put(length, saturate_int32(static_cast<int64_t>(sectors) * kRawSectorBytes));
    return SOURCE_KIND_SYSTEM;
  }
  if (path.kind == PathKind::dvb) {
    if (!dvb_loaded(s)) return SOURCE_KIND_NOTHING;
    put(length, dvb_info(s, RIVENNE_INFO_SIZE));
    return dvb_info(s, RIVENNE_INFO_KIND);
  }
  if (has_extension(path.name, "VOB")) {
    int64_t size = -1;
    if (auto disc = find_disc_file(path.name)) {
      size = disc->size;
    } else {
      LayerFile f = layer_open16(s.hooks, path.name.c_str());
      size = probe_file_size(f);
      layer_close16(f);
    }
    if (size < 0) return SOURCE_KIND_CANNOT_OPEN;
    put(length, saturate_int32(size));
    return SOURCE_KIND_SYSTEM;
  }
  const SourceKind kind = probe_content(s, path.name, length);
  if (kind != SOURCE_KIND_NOTHING && kind != SOURCE_KIND_CANNOT_OPEN) return kind;
  // Nothing the MPEG path can play: a plug-in may still take it; when none
  // does, the content probe's answer and the MPEG opener stay.
  int32_t len = 0;
  if (auto taken = ask_all_plugins(s, path.name, length ? &len : nullptr)) {
    put(length, len);
    return *taken;
  }
  return kind;
}

}  // namespace dravik
