#include "video/engine/dvd_title.h"

#include <cstring>
#include <string>

#include "components/glyvex/glyvex.h"
#include "components/navlore/navlore.h"
#include "media/media_api.h"
#include "platform/drive.h"
#include "video/engine/engine.h"
#include "video/engine/ports.h"

namespace kestrum {

namespace {

struct DvdTitle {
  int32_t disc = 0;
  int32_t aspect_w = 0, aspect_h = 0;  // 0:0 = the picture's own
  int32_t audio_count = -1;
  int32_t spu_count = -1;
  uint8_t audio[8 * 8] = {};
  uint8_t spu[32 * 6] = {};
};

DvdTitle g_title;

bool is_upper(char c, char want) { return c == want || c == want + ('a' - 'A'); }

// (a) "X:" + one character + "VIDEO_TS", on a CD-ROM drive.
bool disc_form(const std::string &p) {
  if (p.size() < 11 || p[1] != ':') return false;
  const char *want = "VIDEO_TS";
  for (int i = 0; i < 8; ++i) {
    const char c = p[3 + static_cast<size_t>(i)];
    if (!(c == want[i] || (want[i] >= 'A' && want[i] <= 'Z' && is_upper(c, want[i])))) return false;
  }
  return platform::drive_type(p.substr(0, 3).c_str()) == platform::DriveType::cdrom;
}

// (b) ends in "VTS_" two characters "_" one character ".VOB".
bool set_vob_form(const std::string &p) {
  if (p.size() < 12) return false;
  const char *n = p.c_str() + p.size() - 12;
  const char *want = "VTS_??_?.VOB";
  for (int i = 0; i < 12; ++i) {
    if (want[i] == '?') continue;
    if (want[i] >= 'A' && want[i] <= 'Z' ? !is_upper(n[i], want[i]) : n[i] != want[i]) return false;
  }
  return true;
}

// The title set's playing seconds for the rate divisor, scaled to the part
// opened: the divisor turns the opened file's size into a byte rate.
int32_t rate_seconds(const NavloreTitleSet &r, const char *path) {
  const int32_t part = SysFileSize(path);
  if (part <= 0 || r.title_vob_bytes <= 0 || part >= r.title_vob_bytes) return r.seconds;
  return static_cast<int32_t>(static_cast<int64_t>(r.seconds) * part / r.title_vob_bytes);
}

void take_aspect(const NavloreTitleSet &r) {
  const uint32_t v = r.video;
  if (((v >> 10) & 3) == 3) {
    g_title.aspect_w = 16, g_title.aspect_h = 9;
  } else if (v & (1u << 5)) {
    g_title.aspect_w = 0, g_title.aspect_h = 0;
  } else {
    const bool pal = ((v >> 12) & 3) != 0;
    const uint32_t size = (v >> 3) & 7;
    g_title.aspect_w = size == 0 ? 720 : (size <= 2 ? 704 : 352);
    g_title.aspect_h = size == 3 ? (pal ? 288 : 240) : (pal ? 576 : 480);
  }
}

}  // namespace

// The title-set record is read, copied from and freed here: kept in the
// global, its chapter table (behind a 4-byte-packed pointer) outlived every
// close.
void dvd_title_open(const char *path) {
  g_title = DvdTitle{};
  media().control(CTL_SET_TS_DIVISOR, 0);
  const std::string p = path ? path : "";
  if (disc_form(p)) g_title.disc = 1;
  NavloreTitleSet *r = nullptr;
  if (set_vob_form(p)) {
    std::string first = p;
    first[first.size() - 5] = '0';
    r = NavloreOpenTitleSet(first.c_str());
  }
  if (!r) {
    GlyvexSetTitle(nullptr);
    return;
  }
  GlyvexSetTitle(r->palette);
  media().control(CTL_SET_TS_DIVISOR, rate_seconds(*r, path));
  take_aspect(*r);
  g_title.audio_count = r->audio_count;
  g_title.spu_count = r->spu_count;
  std::memcpy(g_title.audio, r->audio, sizeof g_title.audio);
  std::memcpy(g_title.spu, r->spu, sizeof g_title.spu);
  NavloreFreeTitle(r);
}

void dvd_title_apply_aspect() {
  PresentationRecord &p = engine().state.presentation;
  p.wide = 0;
  if (g_title.aspect_w == 16 && g_title.aspect_h == 9) {
    p.wide = 1;
  } else if (g_title.aspect_w > 0 && g_title.aspect_h > 0) {
    p.aspect_factor = g_title.aspect_w * 256 / g_title.aspect_h;
  }
}

int32_t dvd_audio_count() { return g_title.audio_count; }
int32_t dvd_spu_count() { return g_title.spu_count; }
const uint8_t *dvd_audio_attributes() { return g_title.audio; }
const uint8_t *dvd_spu_attributes() { return g_title.spu; }
int32_t dvd_disc() { return g_title.disc; }
void dvd_navigation_record(const void *record) { NavloreSetNavigation(record); }

}  // namespace kestrum
