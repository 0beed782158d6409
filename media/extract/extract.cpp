#include "media/extract/extract.h"

#include <cstdio>
#include <cstring>

#include "media/demux/byte_cursor.h"
#include "media/demux/demux.h"
#include "media/exports/frame.h"
#include "media/extract/output_file.h"
#include "media/source/path_forms.h"
#include "media/source/probe.h"
#include "media/source/source.h"
#include "media/state.h"
#include "platform/file.h"

namespace dravik {

namespace {

constexpr const char *kNames[kExtractKinds] = {
    "Video_%02d.VBS", "SubPic%02d.SPU", "Audio_%d.PCM", "Audio_%d.AC3",
    "Audio_%d.ABS",   "Audio_%d.EXT",   "Audio_%d.DTS", "Audio_%d.SDDS",
};
// The tag in front of the records of the framed kinds (none for the rest).
constexpr const char *kTags[kExtractKinds] = {nullptr, "SUBP",  "LPCM", nullptr,
                                              nullptr, nullptr, "DTS*", "SDDS"};

void put_le32(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

void close_outputs(ExtractState &x) {
  for (auto &kind : x.outputs) {
    for (ExtractOutput &o : kind) {
      output_close(o.file);
      o = ExtractOutput{};
    }
  }
}

// An output that failed is closed for the rest of the extraction: creating
// it again later would start a file in the middle of its stream.
void lose(ExtractState &x, ExtractOutput &o) {
  output_close(o.file);
  o.lost = true;
  ++x.failures;
}

// True when path is the source itself or a file another stream writes: it
// must not be truncated, nor take a second stream.
bool path_taken(const State &s, const std::string &path) {
  if (s.source.fd >= 0 && platform::file_is_same(path.c_str(), s.source.fd)) return true;
  for (const auto &kind : s.extract.outputs) {
    for (const ExtractOutput &o : kind) {
      if (o.path.empty()) continue;
      if (o.path == path || (o.file.os_fd() >= 0 && platform::file_is_same(path.c_str(), o.file.os_fd())))
        return true;
    }
  }
  return false;
}

// The output of a stream, created on first use. -> false when it is lost.
bool ensure_output(State &s, ExtractKind kind, int32_t index, ExtractOutput &o) {
  if (o.file.is_open()) return true;
  if (o.lost) return false;
  char name[32];
  std::snprintf(name, sizeof name, kNames[static_cast<int32_t>(kind)], static_cast<int>(index));
  std::string path = s.settings.output_dir + name;
  if (s.hooks.name_hook) {
    if (const char *other = s.hooks.name_hook(path.c_str())) path = other;
  }
  if (path_taken(s, path)) {
    lose(s.extract, o);
    return false;
  }
  o.path = path;
  o.file = output_create(s.hooks, path.c_str());
  if (!o.file.is_open()) {
    lose(s.extract, o);
    return false;
  }
  return true;
}

// Switches extraction on for the open source.
void begin(State &s) {
  ExtractState &x = s.extract;
  close_outputs(x);
  x.failures = 0;
  if (!x.scratch) x.scratch = std::make_unique<uint8_t[]>(kExtractScratchBytes);
  s.settings.extract_mode = 1;
  s.scr_capture = true;
}

}  // namespace

ExtractState::ExtractState() = default;

ExtractState::~ExtractState() { close_outputs(*this); }

bool extraction_on(const State &s) { return s.settings.extract_mode != 0; }

int32_t extract_open(State &s, const char *path, bool reset_first) {
  if (reset_first) reset_state(s);
  if (!path) return -1;
  const PathForm form = parse_path_buffer(path, static_cast<int64_t>(std::strlen(path)) + 1);
  if (!s.settings.no_probe && probe_source(s, form, nullptr) != SOURCE_KIND_SYSTEM) return -1;
  const int32_t handle = open_source(s, form, DRAVIK_START_BEGIN, false);
  if (handle == -1) return -1;
  // The opening analysis is skipped, but not its transport-stream test:
  // without it a transport stream would yield nothing and seem to succeed.
  enter_transport_mode_if_needed(s);
  begin(s);
  return handle;
}

void extract_enable(State &s) { begin(s); }

uint32_t extract_step(State &s) {
  // Without a source there is nothing left: a host stepping until the end
  // stops at once.
  if (s.source.type == SourceType::none) s.end.store(true);
  if (extraction_on(s) && !s.end.load()) parse_next_unit(s);
  return s.demux.scr_half;
}

int32_t extract_close(State &s) {
  close_source(s);
  close_outputs(s.extract);
  s.settings.extract_mode = 0;
  s.scr_capture = false;
  return s.extract.failures > 0 ? -1 : 0;
}

void extract_payload(State &s, ExtractKind kind, int32_t index, int32_t n) {
  ExtractState &x = s.extract;
  if (n <= 0) return;
  if (!x.scratch || n > kExtractScratchBytes - kExtractHeaderRoom) {
    cursor_skip(s, n);
    return;
  }
  uint8_t *payload = x.scratch.get() + kExtractHeaderRoom;
  int32_t got = 0;
  cursor_copy(s, n, [&](const uint8_t *p, int32_t len) {
    std::memcpy(payload + got, p, static_cast<size_t>(len));
    got += len;
  });
  if (got <= 0) return;

  // The record header goes right in front of the payload, so that a file
  // takes the record in one write.
  const auto k = static_cast<int32_t>(kind);
  int32_t header = 0;
  if (kTags[k]) header = kind == ExtractKind::subpicture ? 12 : 8;
  uint8_t *record = payload - header;
  if (header) {
    std::memcpy(record, kTags[k], 4);
    put_le32(record + 4, static_cast<uint32_t>(got));
    if (header == 12) put_le32(record + 8, s.demux.scr_half);
  }
  if (s.hooks.writer) {
    for (int32_t at = 0; at < header; at += 4) s.hooks.writer(k, index, record + at, 4);
    s.hooks.writer(k, index, payload, got);
    return;
  }
  if (s.settings.extract_mode != 1) return;
  ExtractOutput &o = x.outputs[k][index & (kExtractSlots - 1)];
  if (!ensure_output(s, kind, index, o)) return;
  if (!output_write(o.file, record, header + got)) lose(x, o);
}

}  // namespace dravik
