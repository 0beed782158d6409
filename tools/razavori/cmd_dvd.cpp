// razavori dvd PATH|DRIVE [--title N]: the disc's titles (length, title
// set, aspect), each title's chapters (start, length, sectors) and streams
// (the id the VOB carries, format, channels, language), read by Navlore.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "components/navlore/navlore.h"

namespace razavori_cli {

namespace {

void print_time(const char *label, int32_t ms) {
  std::printf("%s %02d:%02d:%02d.%03d", label, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

void print_title(int32_t number, const NavloreDiscTitle &t) {
  std::printf("title %d: set %d title %d,", number, t.set, t.set_title);
  print_time(" length", t.length_ms);
  std::printf(", aspect %s, %dx%d, %d chapters\n", t.wide ? "16:9" : "4:3", t.width, t.height,
              t.chapter_count);
  for (int32_t i = 0; i < t.chapter_count; ++i) {
    const NavloreChapterInfo &c = t.chapters[i];
    std::printf("  chapter %d:", i + 1);
    print_time(" start", c.start_ms);
    print_time(", length", c.length_ms);
    std::printf(", sectors %u-%u\n", c.first_sector, c.end_sector);
  }
  for (int32_t i = 0; i < t.audio_count; ++i) {
    const NavloreStream &a = t.audio[i];
    std::printf("  audio %d: id 0x%02X, %s, %d channels, language %s\n", i + 1, a.id,
                NavloreFormatName(a.format), a.channels, a.language[0] ? a.language : "-");
  }
  for (int32_t i = 0; i < t.spu_count; ++i) {
    const NavloreStream &s = t.spu[i];
    std::printf("  subpicture %d: id 0x%02X, language %s\n", i + 1, s.id, s.language[0] ? s.language : "-");
  }
}

}  // namespace

int run_dvd(int argc, char **argv) {
  const char *path = nullptr;
  int32_t only = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--title") == 0 && i + 1 < argc) {
      only = std::atoi(argv[++i]);
      if (only < 1) {
        std::fprintf(stderr, "razavori dvd: --title takes a number from 1\n");
        return 2;
      }
    } else if (!path && argv[i][0] != '-') {
      path = argv[i];
    } else {
      std::fprintf(stderr, "usage: razavori dvd PATH|DRIVE [--title N]\n");
      return 2;
    }
  }
  if (!path) {
    std::fprintf(stderr, "usage: razavori dvd PATH|DRIVE [--title N]\n");
    return 2;
  }
  NavloreDisc *disc = NavloreReadDisc(path);
  if (!disc) {
    std::fprintf(stderr, "razavori dvd: %s: no DVD title information (no VIDEO_TS.IFO, or it is damaged)\n",
                 path);
    return 1;
  }
  int rc = 0;
  if (only > disc->title_count) {
    std::fprintf(stderr, "razavori dvd: %s has %d titles\n", path, disc->title_count);
    rc = 1;
  }
  for (int32_t i = 0; i < disc->title_count; ++i) {
    if (only == 0 || only == i + 1) print_title(i + 1, disc->titles[i]);
  }
  NavloreFreeDisc(disc);
  return rc;
}

}  // namespace razavori_cli
