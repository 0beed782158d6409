#include "tests/media/hooks/recording_plugin.h"

#include <cstring>

namespace hooks_test {

namespace {

RecordingPlugin *me(SourcePlugin *p) { return static_cast<RecordingPlugin *>(p); }
void note(SourcePlugin *p, const char *call) { me(p)->log->push_back(me(p)->name + ":" + call); }

void release(SourcePlugin *p) { note(p, "release"); }
int32_t extensions(SourcePlugin *p, char *buf, int32_t capacity) {
  note(p, "extensions");
  const size_t n = std::strlen(me(p)->extensions);
  if (n == 0 || static_cast<int32_t>(n) >= capacity) return 0;
  std::memcpy(buf, me(p)->extensions, n + 1);
  return 1;
}
int32_t probe(SourcePlugin *p, const char *, int32_t *length) {
  note(p, "probe");
  if (me(p)->inside_probe) me(p)->inside_probe();
  if (length) *length = me(p)->probe_length;
  return me(p)->probe_answer;
}
int32_t open(SourcePlugin *p, const char *, uint32_t) {
  note(p, "open");
  return me(p)->open_answer;
}
void close(SourcePlugin *p) { note(p, "close"); }
int32_t has_video(SourcePlugin *p) { return me(p)->has_video; }
int32_t has_audio(SourcePlugin *p) { return me(p)->has_audio; }
int32_t size(SourcePlugin *p) { return me(p)->size; }
int32_t seek(SourcePlugin *p, int32_t pos, int32_t) {
  note(p, "seek");
  return me(p)->position = pos;
}
int32_t position(SourcePlugin *p) {
  note(p, "position");
  return me(p)->position;
}

const SourcePluginTable kTable = {nullptr,   nullptr,   release, extensions, probe,  open, close,
                                  has_video, has_audio, nullptr, nullptr,    size,   seek, position,
                                  nullptr,   nullptr,   nullptr, nullptr,    nullptr};

}  // namespace

RecordingPlugin::RecordingPlugin(std::string n, std::vector<std::string> *l)
    : SourcePlugin{&kTable}, name(std::move(n)), log(l) {}

int RecordingPlugin::count(const std::string &call) const {
  int n = 0;
  for (const std::string &e : *log) n += e == name + ":" + call;
  return n;
}

}  // namespace hooks_test
