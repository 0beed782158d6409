// razavori info FILE [--pictures]: the video stream's header values, read
// through the media layer's exports and the video decoder's header parser,
// and whether its pictures carry 3:2 pull-down (film stored at 24 pictures a
// second in a stream that displays 30); with --pictures the coding type,
// structure, repeat_first_field, top_field_first and display length of every
// picture in stream order (headers only: nothing is decoded).
#include <cstdio>
#include <cstring>
#include <string>

#include "media/media_api.h"
#include "tools/razavori/avi_info.h"
#include "tools/razavori/input_reason.h"
#include "tools/razavori/source_arg.h"
#include "video/decode/decoder.h"

namespace razavori_cli {

namespace {

constexpr uint32_t kOpenVideoElementary = 0x88888888u;

int32_t read_video(void *, void *dst, int32_t len) { return SysReadVideo(dst, len); }
int32_t seek_video(void *, int32_t pos, int32_t origin) { return SysSeek(pos, origin); }

const char *chroma_name(int32_t chroma_format) {
  switch (chroma_format) {
    case 1:
      return "4:2:0";
    case 2:
      return "4:2:2";
    case 3:
      return "4:4:4";
    default:
      return "reserved";
  }
}

char coding_type_letter(int32_t type) {
  switch (type) {
    case 1:
      return 'I';
    case 2:
      return 'P';
    case 3:
      return 'B';
    case 4:
      return 'D';
    default:
      return '?';
  }
}

const char *structure_name(int32_t structure) {
  switch (structure) {
    case 1:
      return "top";
    case 2:
      return "bottom";
    case 3:
      return "frame";
    default:
      return "reserved";
  }
}

// Frame rate by frame_rate_code as numerator/denominator.
void frame_rate(int32_t code, int32_t *num, int32_t *den) {
  static const int32_t kNum[9] = {0, 24000, 24, 25, 30000, 30, 50, 60000, 60};
  static const int32_t kDen[9] = {1, 1001, 1, 1, 1001, 1, 1, 1001, 1};
  if (code >= 1 && code <= 8) {
    *num = kNum[code];
    *den = kDen[code];
  } else {
    *num = 0;
    *den = 1;
  }
}

// Pull-down repeats a field on every other picture; a stream where at least
// two pictures in five do is film.
constexpr int64_t kFilmRepeatsPerFive = 2;
// Without --pictures the cadence is judged from this many pictures.
constexpr int64_t kCadencePictures = 1000;

// Field periods a coded picture adds to the display time: a field picture
// is one field, a frame two or more.
int32_t coded_fields(const kestrum::SequenceHeader &sh, const kestrum::PictureHeader &ph) {
  if (ph.picture_structure != 3) return 1;
  return kestrum::display_fields(sh.is_mpeg2, sh.progressive_sequence, ph.picture_structure,
                                 ph.repeat_first_field, ph.top_field_first);
}

void print_matrix(const char *name, const uint8_t *m) {
  std::printf("%s:", name);
  for (int i = 0; i < 64; ++i) std::printf(" %u", m[i]);
  std::printf("\n");
}

}  // namespace

int run_info(int argc, char **argv) {
  SourceArg arg;
  argc = strip_disc_options(argc, argv, &arg, "info");
  if (argc < 0) return 2;
  const char *path = nullptr;
  bool pictures = false, index = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--pictures")) {
      pictures = true;
    } else if (!std::strcmp(argv[i], "--index")) {
      index = true;
    } else if (argv[i][0] == '-' && argv[i][1]) {
      std::fprintf(stderr, "razavori info: unknown option \"%s\"\n", argv[i]);
      return 2;
    } else if (!path) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "razavori info: more than one file given\n");
      return 2;
    }
  }
  if (!path) {
    std::fprintf(stderr, "usage: razavori info FILE [--pictures]\n");
    return 2;
  }
  if (is_avi_path(path)) return run_avi_info(path, index);
  arg.file = path;
  if (!resolve_or_say(&arg, "info")) return 1;
  int32_t length = 0;
  const SourceKind kind = SysProbeBuffer(arg.name(), arg.size(), &length);
  if (kind != SOURCE_KIND_SYSTEM && kind != SOURCE_KIND_VIDEO) {
    report_input_failure("info", path, kind == SOURCE_KIND_CANNOT_OPEN ? "cannot open" : "no video stream");
    return 1;
  }
  if (SysOpenBuffer(arg.name(), arg.size(), kind == SOURCE_KIND_VIDEO ? kOpenVideoElementary : arg.start) ==
      -1) {
    report_input_failure("info", path, "cannot open");
    return 1;
  }
  kestrum::Decoder decoder;
  decoder.set_source({nullptr, read_video, seek_video, length});
  if (!decoder.find_sequence_header()) {
    SysClose();
    std::fprintf(stderr, "razavori info: %s: no sequence header\n", path);
    return 1;
  }
  // The sequence extension follows the header; the first picture search
  // parses it (and everything up to the first picture).
  const bool have_picture = decoder.find_picture() != 0;
  const kestrum::SequenceHeader &sh = decoder.sequence();
  int32_t num = 0;
  int32_t den = 1;
  frame_rate(sh.frame_rate_code, &num, &den);
  std::printf("file: %s\n", path);
  std::printf("kind: %s\n", kind == SOURCE_KIND_VIDEO ? "video elementary stream" : "system stream");
  std::printf("size: %dx%d\n", sh.horizontal_size, sh.vertical_size);
  const int32_t dw = sh.display_horizontal_size ? sh.display_horizontal_size : sh.horizontal_size;
  const int32_t dh = sh.display_vertical_size ? sh.display_vertical_size : sh.vertical_size;
  std::printf("display size: %dx%d\n", dw, dh);
  std::printf("frame rate code: %d\n", sh.frame_rate_code);
  std::printf("frame rate: %d/%d\n", num, den);
  std::printf("frame period: %d ms\n", kestrum::frame_period_ms(sh.frame_rate_code));
  std::printf("bit rate: %lld\n", static_cast<long long>(sh.bit_rate()));
  std::printf("mpeg2: %d\n", sh.is_mpeg2 ? 1 : 0);
  std::printf("chroma format: %d (%s)\n", sh.chroma_format, chroma_name(sh.chroma_format));
  std::printf("progressive sequence: %d\n", sh.progressive_sequence);
  if (sh.load_intra_quantiser_matrix) {
    print_matrix("intra matrix", sh.quantiser_matrix[0]);
    print_matrix("chroma intra matrix", sh.quantiser_matrix[2]);
  }
  if (sh.load_non_intra_quantiser_matrix) {
    print_matrix("non-intra matrix", sh.quantiser_matrix[1]);
    print_matrix("chroma non-intra matrix", sh.quantiser_matrix[3]);
  }
  if (have_picture) {
    // One pass over the picture headers: the list (with --pictures) and
    // the cadence.
    std::string list;
    int64_t n = 0;
    int64_t repeats = 0;
    int64_t fields = 0;
    do {
      decoder.parse_picture_header();
      const kestrum::PictureHeader &ph = decoder.picture();
      const int32_t f = coded_fields(sh, ph);
      fields += f;
      if (ph.picture_structure == 3 && ph.repeat_first_field && sh.is_mpeg2) ++repeats;
      if (pictures) {
        char line[128];
        std::snprintf(line, sizeof line, "%lld %c %s repeat_first_field=%d top_field_first=%d fields=%d\n",
                      static_cast<long long>(n), coding_type_letter(ph.picture_coding_type),
                      structure_name(ph.picture_structure), ph.repeat_first_field ? 1 : 0,
                      ph.top_field_first ? 1 : 0, f);
        list += line;
      }
      ++n;
    } while ((pictures || n < kCadencePictures) && decoder.find_picture());
    const bool film = repeats * 5 >= n * kFilmRepeatsPerFive;
    std::printf("cadence: %s (%lld of %lld pictures repeat a field)\n",
                film ? "film with pull-down" : "plain", static_cast<long long>(repeats),
                static_cast<long long>(n));
    // Field periods are half frame periods of the frame rate.
    if (num > 0) {
      std::printf("display time: %.3f s (%lld fields in %lld pictures)\n", double(fields) * den / (2.0 * num),
                  static_cast<long long>(fields), static_cast<long long>(n));
    }
    if (pictures) std::printf("pictures:\n%s", list.c_str());
  }
  SysClose();
  return 0;
}

}  // namespace razavori_cli
