// The YUV4MPEG2 source plug-in: libdravik_y4m.so exports one factory that
// returns a SourcePlugin serving 4:2:0 .y4m files as video-only sources
// whose positions are milliseconds.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tools/plugins/y4m/y4m_file.h"

namespace {

constexpr char kExtensions[] = "y4m";

struct Y4mPlugin : SourcePlugin {
  y4m::File file;
  int32_t next = 0;  // picture the next slot 9 call hands out
  std::vector<uint8_t> planes;
};

Y4mPlugin *self_of(SourcePlugin *p) { return static_cast<Y4mPlugin *>(p); }

void release(SourcePlugin *p) { delete self_of(p); }

int32_t extensions(SourcePlugin *, char *buf, int32_t capacity) {
  if (!buf || capacity < static_cast<int32_t>(sizeof kExtensions)) return 0;
  std::memcpy(buf, kExtensions, sizeof kExtensions);
  return 1;
}

int32_t probe(SourcePlugin *, const char *path, int32_t *length) {
  y4m::File f;
  if (!path || !f.open(path) || f.pictures() == 0) return SOURCE_KIND_NOTHING;
  if (length) *length = f.duration_ms();
  return SOURCE_KIND_VIDEO;
}

int32_t open(SourcePlugin *p, const char *path, uint32_t start) {
  Y4mPlugin *s = self_of(p);
  if (!path || !s->file.open(path) || s->file.pictures() == 0) {
    s->file.close();
    return 0;
  }
  // A start below 0x1000000 is a time in ms; larger values start at 0.
  s->next = start < 0x1000000u ? s->file.picture_at(start) : 0;
  return 1;
}

void close(SourcePlugin *p) {
  self_of(p)->file.close();
  self_of(p)->next = 0;
}

int32_t has_video(SourcePlugin *p) { return self_of(p)->file.is_open() ? 1 : 0; }
int32_t has_audio(SourcePlugin *) { return 0; }

int32_t next_picture(SourcePlugin *p, DravikPluginPicture *out) {
  Y4mPlugin *s = self_of(p);
  if (!out || !s->file.read(s->next, s->planes)) return 0;
  const y4m::Header &h = s->file.header();
  const int32_t luma = h.width * h.height;
  out->planes[0] = s->planes.data();
  out->planes[1] = s->planes.data() + luma;
  out->planes[2] = s->planes.data() + luma + luma / 4;
  out->pitches[0] = h.width;
  out->pitches[1] = out->pitches[2] = h.width / 2;
  out->width = h.width;
  out->height = h.height;
  out->time_ms = s->file.time_of(s->next);
  ++s->next;
  return 1;
}

int32_t size(SourcePlugin *p) { return self_of(p)->file.duration_ms(); }

int32_t position(SourcePlugin *p) { return self_of(p)->file.time_of(self_of(p)->next); }

int32_t seek(SourcePlugin *p, int32_t pos, int32_t origin) {
  Y4mPlugin *s = self_of(p);
  if (!s->file.is_open()) return -1;
  const int64_t base = origin == 1 ? position(p) : origin == 2 ? s->file.duration_ms() : 0;
  s->next = s->file.picture_at(base + pos);
  return position(p);
}

const SourcePluginTable kTable = {
    nullptr, nullptr, release, extensions, probe,   open,    close,   has_video, has_audio, next_picture,
    nullptr, size,    seek,    position,   nullptr, nullptr, nullptr, nullptr,   nullptr,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) SourcePlugin *CreateSourcePlugin(void) {
  auto *p = new (std::nothrow) Y4mPlugin;
  if (p) p->table = &kTable;
  return p;
}
