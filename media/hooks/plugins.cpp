#include "media/hooks/plugins.h"

#include <cstring>

#include "media/hooks/file_layer.h"
#include "media/hooks/hook_call.h"
#include "media/source/path_forms.h"
#include "media/source/source.h"
#include "media/state.h"

namespace dravik {

namespace {

constexpr int32_t kExtensionListBytes = 1024;
constexpr int32_t kPluginVideoAvail = 10000;
constexpr int32_t kPluginAudioAvail = 1000;
constexpr int32_t kPluginByteRate = 1000;

bool takes(int32_t answer) { return answer >= SOURCE_KIND_SYSTEM && answer <= SOURCE_KIND_AUDIO; }

const SourcePluginTable *entries(SourcePlugin *p) { return p ? p->table : nullptr; }

std::string extension_of(const std::string &path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

bool lists_extension(SourcePlugin *p, const std::string &path) {
  const SourcePluginTable *t = entries(p);
  if (!t || !t->extensions) return false;
  char list[kExtensionListBytes] = {};
  int32_t filled;
  {
    HookCall mark;
    filled = t->extensions(p, list, kExtensionListBytes);
  }
  list[kExtensionListBytes - 1] = '\0';  // a list left unterminated ends here
  return filled && extension_listed(list, path);
}

bool starts_with_rmf(State &s, const std::string &path) {
  LayerFile f = layer_open16(s.hooks, path.c_str());
  if (!f.is_open()) return false;
  char magic[4] = {};
  const bool yes = layer_read16(f, magic, 4) == 4 && std::memcmp(magic, ".RMF", 4) == 0;
  layer_close16(f);
  return yes;
}

// Asks one plug-in's probe. -> its answer.
int32_t probe_with(SourcePlugin *p, const std::string &path, int32_t *length) {
  const SourcePluginTable *t = entries(p);
  if (!t || !t->probe) return SOURCE_KIND_CANNOT_OPEN;
  int32_t len = 0;
  int32_t answer;
  {
    HookCall mark;
    answer = t->probe(p, path.c_str(), &len);
  }
  if (takes(answer) && length) *length = len;
  return answer;
}

// The remembered answer for path, when a probe with a length pointer
// already found its plug-in.
std::optional<SourceKind> remembered(State &s, const std::string &path, int32_t *length) {
  PluginMemory &m = s.hooks.remembered;
  if (!m.plugin || m.path != path) return std::nullopt;
  if (length) *length = m.length;
  s.next_opener = Opener::plugin;
  return m.kind;
}

std::optional<SourceKind> ask(State &s, const std::string &path, int32_t *length, bool offered) {
  if (auto kind = remembered(s, path, length)) return kind;
  for (SourcePlugin *p : s.hooks.plugins) {
    if (offered && !lists_extension(p, path)) continue;
    int32_t len = 0;
    const int32_t answer = probe_with(p, path, &len);
    if (!takes(answer)) continue;
    if (length) {
      *length = len;
      s.hooks.remembered = PluginMemory{path, p, answer, len};
    }
    s.next_opener = Opener::plugin;
    return answer;
  }
  return std::nullopt;
}

bool open_with(State &s, SourcePlugin *p, const std::string &path, uint32_t start) {
  const SourcePluginTable *t = entries(p);
  if (!t || !t->open || !t->close) return false;
  int32_t ok;
  {
    HookCall mark;
    ok = t->open(p, path.c_str(), start);
  }
  if (!ok) return false;
  Source &src = s.source;
  src.type = SourceType::plugin;
  src.handle = DRAVIK_HANDLE_PLUGIN;
  src.path = path;
  s.hooks.active_plugin = p;
  HookCall mark;
  src.size = t->size ? t->size(p) : 0;
  s.rings.video_avail_stored = t->has_video && t->has_video(p) ? kPluginVideoAvail : 0;
  s.rings.audio_avail_stored = t->has_audio && t->has_audio(p) ? kPluginAudioAvail : 0;
  s.byte_rate = kPluginByteRate;
  s.rate_valid = true;
  return true;
}

}  // namespace

bool extension_listed(const char *list, const std::string &path) {
  const std::string ext = extension_of(path);
  if (ext.empty() || !list) return false;
  std::string_view rest(list);
  while (!rest.empty()) {
    const size_t end = rest.find(';');
    std::string_view item = rest.substr(0, end);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (!item.empty() && item.front() == '.') item.remove_prefix(1);
    if (equal_ignore_case(item, ext)) return true;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return false;
}

std::optional<SourceKind> offer_to_plugins(State &s, const std::string &path, int32_t *length) {
  if (s.hooks.plugins.empty()) return std::nullopt;
  if (auto kind = remembered(s, path, length)) return kind;
  bool listed = false;
  for (SourcePlugin *p : s.hooks.plugins) listed = listed || lists_extension(p, path);
  if (listed) {
    if (auto kind = ask(s, path, length, true)) return kind;
  }
  if (!starts_with_rmf(s, path)) return std::nullopt;
  return ask(s, path, length, false);
}

std::optional<SourceKind> ask_all_plugins(State &s, const std::string &path, int32_t *length) {
  if (s.hooks.plugins.empty()) return std::nullopt;
  return ask(s, path, length, false);
}

bool open_plugin_source(State &s, const std::string &path, uint32_t start) {
  SourcePlugin *first = s.hooks.remembered.path == path ? s.hooks.remembered.plugin : nullptr;
  if (first && open_with(s, first, path, start)) return true;
  for (SourcePlugin *p : s.hooks.plugins) {
    if (p != first && open_with(s, p, path, start)) return true;
  }
  return false;
}

int64_t seek_plugin_source(State &s, int32_t pos, int32_t origin) {
  SourcePlugin *p = s.hooks.active_plugin;
  const SourcePluginTable *t = entries(p);
  if (!t) return -1;
  HookCall mark;
  if (pos == 0 && origin == 1) return t->position ? t->position(p) : -1;
  return t->seek ? t->seek(p, pos, origin) : -1;
}

void close_plugin_source(State &s) {
  SourcePlugin *p = s.hooks.active_plugin;
  s.hooks.active_plugin = nullptr;
  s.rings.video_avail_stored = 0;
  s.rings.audio_avail_stored = 0;
  s.byte_rate = 0;
  s.rate_valid = false;
  if (const SourcePluginTable *t = entries(p)) {
    HookCall mark;
    t->close(p);
  }
}

void release_plugins(State &s) {
  // A plug-in source still open would leave SysClose calling freed code.
  if (s.source.type == SourceType::plugin) close_source(s);
  std::vector<SourcePlugin *> list;
  list.swap(s.hooks.plugins);
  s.hooks.remembered = PluginMemory{};
  s.next_opener = s.next_opener == Opener::plugin ? Opener::mpeg : s.next_opener;
  for (SourcePlugin *p : list) {
    const SourcePluginTable *t = entries(p);
    if (!t || !t->release) continue;
    HookCall mark;
    t->release(p);
  }
}

}  // namespace dravik
