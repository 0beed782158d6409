// The title-set record and the disc listing, built from the parsed
// information files.
#include <cstddef>
#include <cstring>
#include <string>

#include "components/common/export_guard.h"
#include "components/navlore/ifo_parse.h"
#include "components/navlore/navlore.h"
#include "components/navlore/volume.h"
#include "platform/drive.h"

static_assert(offsetof(NavloreTitleSet, seconds) == 6 * 4);
static_assert(offsetof(NavloreTitleSet, palette) == 7 * 4);
static_assert(offsetof(NavloreTitleSet, video) == 23 * 4);
static_assert(offsetof(NavloreTitleSet, audio_count) == 24 * 4);
static_assert(offsetof(NavloreTitleSet, audio) == 25 * 4);
static_assert(offsetof(NavloreTitleSet, spu_count) == 41 * 4);
static_assert(offsetof(NavloreTitleSet, spu) == 42 * 4);
static_assert(offsetof(NavloreTitleSet, chapter_count) == 360);
static_assert(offsetof(NavloreTitleSet, chapters) == 364);

namespace navlore {
namespace {

const void *g_navigation = nullptr;

bool read_set(Volume &volume, int32_t set, SetInfo &info) {
  std::vector<uint8_t> bytes;
  return volume.read_info(
      set, bytes, [&](const std::vector<uint8_t> &b) { return parse_title_set(b.data(), b.size(), info); });
}

// The chain of the set's first title (the first chain when the title table
// names none).
const Chain &first_title_chain(const SetInfo &info) {
  const int32_t chain = info.title_chains.empty() ? -1 : info.title_chains[0];
  return info.chains[chain >= 0 ? static_cast<size_t>(chain) : 0];
}

NavloreTitleSet *make_record(Volume &volume, int32_t set) {
  if (!volume.ok() || set < 1 || set > 99) return nullptr;
  SetInfo info;
  if (!read_set(volume, set, info)) return nullptr;
  const Chain &chain = first_title_chain(info);
  auto *r = new NavloreTitleSet{};
  r->set_number = set;
  r->chain_count = static_cast<int32_t>(info.chains.size());
  r->title_ms = chain.ms;
  r->seconds = chain.ms / 1000;
  std::memcpy(r->palette, chain.palette, sizeof r->palette);
  r->video = info.video;
  r->audio_count = info.audio_count;
  std::memcpy(r->audio, info.audio, sizeof r->audio);
  r->spu_count = info.spu_count;
  std::memcpy(r->spu, info.spu, sizeof r->spu);
  for (int32_t i = 0; i < info.audio_count; ++i) r->audio_ids[i] = audio_stream_id(info, chain, i);
  for (int32_t i = 0; i < info.spu_count; ++i) r->spu_ids[i] = spu_stream_id(info, chain, i);
  const std::vector<ChapterSpan> spans = chain_chapters(chain);
  r->chapter_count = static_cast<int32_t>(spans.size());
  NavloreChapter *chapters = spans.empty() ? nullptr : new NavloreChapter[spans.size()];
  for (size_t i = 0; i < spans.size(); ++i) chapters[i] = {spans[i].first, spans[i].end};
  r->chapters = chapters;
  r->title_vob_bytes = volume.title_vob_bytes(set);
  return r;
}

// "VTS_nn_" followed by one character and ".VOB", either case, at the end.
int32_t set_of_name(const std::string &path) {
  if (path.size() < 12) return -1;
  const char *n = path.c_str() + path.size() - 12;
  auto up = [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
  const char want[] = "VTS_??_?.VOB";
  for (int i = 0; i < 12; ++i) {
    if (want[i] != '?' && up(n[i]) != want[i]) return -1;
  }
  if (n[4] < '0' || n[4] > '9' || n[5] < '0' || n[5] > '9') return -1;
  return (n[4] - '0') * 10 + (n[5] - '0');
}

void copy_language(const uint8_t *code, char *out) {
  const bool letters = code[0] >= 'a' && code[0] <= 'z' && code[1] >= 'a' && code[1] <= 'z';
  out[0] = letters ? static_cast<char>(code[0]) : 0;
  out[1] = letters ? static_cast<char>(code[1]) : 0;
  out[2] = 0;
}

void fill_title(const SetInfo &info, const Chain &chain, NavloreDiscTitle &t) {
  t.length_ms = chain.ms;
  t.wide = is_wide(info.video) ? 1 : 0;
  const uint32_t size = (info.video >> 2) & 3;
  const bool pal = ((info.video >> 12) & 3) == 1;
  t.width = size == 0 ? 720 : (size == 1 ? 704 : 352);
  t.height = (pal ? 576 : 480) / (size == 3 ? 2 : 1);
  std::memcpy(t.palette, chain.palette, sizeof t.palette);
  t.audio_count = info.audio_count;
  for (int32_t i = 0; i < info.audio_count; ++i) {
    const uint8_t *a = info.audio + i * 8;
    t.audio[i].id = audio_stream_id(info, chain, i);
    t.audio[i].format = a[0] >> 5;
    t.audio[i].channels = (a[1] & 7) + 1;
    copy_language(a + 2, t.audio[i].language);
  }
  t.spu_count = info.spu_count;
  for (int32_t i = 0; i < info.spu_count; ++i) {
    const uint8_t *s = info.spu + i * 6;
    t.spu[i].id = spu_stream_id(info, chain, i);
    t.spu[i].format = -1;
    copy_language(s + 2, t.spu[i].language);
  }
  const std::vector<ChapterSpan> spans = chain_chapters(chain);
  t.chapter_count = static_cast<int32_t>(spans.size());
  auto *chapters = spans.empty() ? nullptr : new NavloreChapterInfo[spans.size()];
  for (size_t i = 0; i < spans.size(); ++i)
    chapters[i] = {spans[i].start_ms, spans[i].length_ms, spans[i].first, spans[i].end};
  t.chapters = chapters;
}

NavloreDisc *read_disc(const char *path) {
  if (!path || !*path) return nullptr;
  Volume volume(path);
  if (!volume.ok()) return nullptr;
  std::vector<uint8_t> bytes;
  std::vector<DiscTitle> titles;
  if (!volume.read_info(
          0, bytes, [&](const std::vector<uint8_t> &b) { return parse_disc(b.data(), b.size(), titles); }))
    return nullptr;
  std::vector<SetInfo> sets(100);
  std::vector<int8_t> state(100, 0);  // 0 unread, 1 read, -1 failed
  auto *disc = new NavloreDisc{};
  auto *out = titles.empty() ? nullptr : new NavloreDiscTitle[titles.size()]{};
  int32_t n = 0;
  for (const DiscTitle &dt : titles) {
    const auto set = static_cast<size_t>(dt.set);
    if (state[set] == 0) state[set] = read_set(volume, dt.set, sets[set]) ? 1 : -1;
    if (state[set] < 0) continue;
    const SetInfo &info = sets[set];
    const size_t index = static_cast<size_t>(dt.set_title - 1);
    if (index >= info.title_chains.size() || info.title_chains[index] < 0) continue;
    NavloreDiscTitle &t = out[n++];
    t.set = dt.set;
    t.set_title = dt.set_title;
    fill_title(info, info.chains[static_cast<size_t>(info.title_chains[index])], t);
  }
  disc->title_count = n;
  disc->titles = out;
  return disc;
}

}  // namespace
}  // namespace navlore

using component_io::guard_export;

extern "C" {

void NavloreSetNavigation(const void *record) { navlore::g_navigation = record; }

NavloreTitleSet *NavloreOpenTitle(int32_t drive, int32_t set_number) {
  return guard_export<NavloreTitleSet *>(nullptr, [&] {
    const char letter = static_cast<char>(drive);
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')))
      return (NavloreTitleSet *)nullptr;
    const std::string root = std::string(1, letter) + ":";
    navlore::Volume volume(root);
    return navlore::make_record(volume, set_number);
  });
}

NavloreTitleSet *NavloreOpenTitleSet(const char *path) {
  return guard_export<NavloreTitleSet *>(nullptr, [&] {
    if (!path) return (NavloreTitleSet *)nullptr;
    const std::string p(path);
    const int32_t set = navlore::set_of_name(p);
    if (set < 1) return (NavloreTitleSet *)nullptr;
    navlore::Volume volume(navlore::volume_of_file(p));
    return navlore::make_record(volume, set);
  });
}

void NavloreFreeTitle(NavloreTitleSet *title) {
  if (!title) return;
  delete[] title->chapters;
  delete title;
}

NavloreDisc *NavloreReadDisc(const char *path) {
  return guard_export<NavloreDisc *>(nullptr, [&] { return navlore::read_disc(path); });
}

void NavloreFreeDisc(NavloreDisc *disc) {
  if (!disc) return;
  for (int32_t i = 0; i < disc->title_count; ++i) delete[] disc->titles[i].chapters;
  delete[] disc->titles;
  delete disc;
}

const char *NavloreFormatName(int32_t format) {
  switch (format) {
    case NAVLORE_AUDIO_AC3:
      return "ac3";
    case NAVLORE_AUDIO_MPEG1:
      return "mpeg1";
    case NAVLORE_AUDIO_MPEG2:
      return "mpeg2ext";
    case NAVLORE_AUDIO_LPCM:
      return "lpcm";
    case NAVLORE_AUDIO_DTS:
      return "dts";
    default:
      return "?";
  }
}

}  // extern "C"
