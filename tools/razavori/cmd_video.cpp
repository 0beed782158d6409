// razavori video FILE [--yuv OUT] [--frames N] [--variant default|83|85]
//                     [--rgb OUT.ppm] [--subpicture N] [--overlay PIC.bmp[@X,Y[,OPACITY]]]
// Decodes a file through the video engine's exports the way the converters
// do: open, then VideoStep until the end, copying each picture between the
// hold and release commands. --yuv writes planar 4:2:0 pictures in display
// order cropped to the display size; --rgb writes each picture as a binary
// PPM image (one after another in the file) through the frame-copy routine.
// --subpicture N (0-31, or the stream id 0x20-0x3F) writes the pictures as
// presented, with that subpicture stream mixed in; --overlay draws a
// picture into every one (opacity 0-256). An AVI source, whose decode may
// take long, shows a progress line on stderr.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "media/media_api.h"
#include "tools/razavori/input_reason.h"
#include "tools/razavori/job_progress.h"
#include "tools/razavori/overlay_arg.h"
#include "tools/razavori/plugin_arg.h"
#include "tools/razavori/source_arg.h"
#include "video/video_api.h"

namespace razavori_cli {

namespace {

struct FileCloser {
  void operator()(FILE *f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool write_yuv(FILE *out, const KestrumPlaneRecord &p, int32_t width, int32_t height) {
  const int32_t cw = (width + 1) / 2;
  const int32_t ch = (height + 1) / 2;
  for (int32_t y = 0; y < height; ++y) {
    if (std::fwrite(p.y + static_cast<ptrdiff_t>(y) * p.y_pitch, 1, static_cast<size_t>(width), out) !=
        static_cast<size_t>(width))
      return false;
  }
  for (const auto &[plane, pitch] : {std::pair{p.cb, p.cb_pitch}, std::pair{p.cr, p.cr_pitch}}) {
    for (int32_t y = 0; y < ch; ++y) {
      if (std::fwrite(plane + static_cast<ptrdiff_t>(y) * pitch, 1, static_cast<size_t>(cw), out) !=
          static_cast<size_t>(cw))
        return false;
    }
  }
  return true;
}

bool write_ppm(FILE *out, KestrumFrameCopy copy, std::vector<uint8_t> &bgr, int32_t width, int32_t height) {
  const int32_t pitch = width * 3;
  bgr.assign(static_cast<size_t>(pitch) * static_cast<size_t>(height), 0);
  if (!copy(24, 1, 0, bgr.data(), pitch)) return false;
  std::fprintf(out, "P6\n%d %d\n255\n", width, height);
  // The routine writes B, G, R; PPM wants R, G, B.
  for (size_t i = 0; i + 2 < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
  return std::fwrite(bgr.data(), 1, bgr.size(), out) == bgr.size();
}

}  // namespace

int run_video(int argc, char **argv) {
  SourceArg arg;
  PluginSet plugins;
  argc = plugins.take(argc, argv, "video");
  if (argc < 0) return 2;
  argc = strip_disc_options(argc, argv, &arg, "video");
  if (argc < 0) return 2;
  const char *path = nullptr;
  const char *yuv_path = nullptr;
  const char *rgb_path = nullptr;
  long frames = -1;
  int variant = 0;
  long subpicture = -1;
  OverlayArg overlay;
  bool with_overlay = false;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (!std::strcmp(argv[i], "--yuv") && has_value) {
      yuv_path = argv[++i];
    } else if (!std::strcmp(argv[i], "--rgb") && has_value) {
      rgb_path = argv[++i];
    } else if (!std::strcmp(argv[i], "--frames") && has_value) {
      char *end = nullptr;
      frames = std::strtol(argv[++i], &end, 10);
      if (!end || *end || frames < 0) {
        std::fprintf(stderr, "razavori video: --frames wants a count\n");
        return 2;
      }
    } else if (!std::strcmp(argv[i], "--subpicture") && has_value) {
      subpicture = parse_subpicture(argv[++i]);
      if (subpicture < 0) {
        std::fprintf(stderr, "razavori video: --subpicture wants a stream number 0-31 or id 0x20-0x3F\n");
        return 2;
      }
    } else if (!std::strcmp(argv[i], "--overlay") && has_value) {
      if (!parse_overlay("video", argv[++i], &overlay)) return 2;
      with_overlay = true;
    } else if (!std::strcmp(argv[i], "--variant") && has_value) {
      const char *v = argv[++i];
      if (!std::strcmp(v, "default")) {
        variant = 0;
      } else if (!std::strcmp(v, "83")) {
        variant = 83;
      } else if (!std::strcmp(v, "85")) {
        variant = 85;
      } else {
        std::fprintf(stderr, "razavori video: --variant is default, 83 or 85\n");
        return 2;
      }
    } else if (argv[i][0] == '-' && argv[i][1]) {
      std::fprintf(stderr, "razavori video: unknown or incomplete option \"%s\"\n", argv[i]);
      return 2;
    } else if (!path) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "razavori video: more than one file given\n");
      return 2;
    }
  }
  if (!path) {
    std::fprintf(
        stderr,
        "usage: razavori video FILE [--yuv OUT] [--frames N] [--variant default|83|85] [--rgb OUT.ppm] "
        "[--subpicture N] [--overlay PIC.bmp[@X,Y[,OPACITY]]] [--plugin LIB]\n");
    return 2;
  }
  arg.file = path;
  if (!resolve_or_say(&arg, "video")) return 1;
  if (with_overlay && !load_overlay("video", &overlay)) return 1;
  File yuv(yuv_path ? std::fopen(yuv_path, "wb") : nullptr);
  File rgb(rgb_path ? std::fopen(rgb_path, "wb") : nullptr);
  if ((yuv_path && !yuv) || (rgb_path && !rgb)) {
    std::fprintf(stderr, "razavori video: cannot create %s\n", yuv_path && !yuv ? yuv_path : rgb_path);
    return 1;
  }

  VideoStartup();
  if (variant) VideoCommand(variant, 1);
  // Delivered from the first pack on; the held pictures carry it.
  if (subpicture >= 0) choose_subpicture(static_cast<int32_t>(subpicture));
  if (with_overlay && !install_overlay("video", overlay)) {
    VideoShutdown();
    return 1;
  }
  // Nothing is shown: a host display that takes nothing keeps the engine
  // from making a window and converting every picture for it. The frame
  // copy still works from the decoded planes.
  static const KestrumHostDisplay takes_nothing{};
  if (!VideoOpenBuffer(&takes_nothing, arg.name(), arg.size(), nullptr, arg.start)) {
    report_input_failure("video", path, "cannot open");
    VideoShutdown();
    return 1;
  }
  if (arg.angle >= 0) SysControl(CTL_ANGLE_SELECT, arg.angle);
  int32_t height = 0;
  const int32_t width =
      static_cast<int32_t>(VideoCommand(VCMD_SEQUENCE_SIZE, reinterpret_cast<intptr_t>(&height)));
  const auto copy = reinterpret_cast<KestrumFrameCopy>(VideoCommand(VCMD_FRAME_COPY, 0));
  std::vector<uint8_t> scratch;
  long written = 0;
  bool ok = true;
  // The open shows the first picture when display order allows; every step
  // after it shows the next one.
  bool have_picture = VideoCommand(VCMD_PLANE_RECORD, 0) != 0;
  // AVI lengths and picture times are milliseconds.
  const bool avi = VideoCommand(VCMD_SOURCE_TAG, 0) == KESTRUM_AVI_SOURCE_TAG;
  const auto length_ms = avi ? static_cast<int32_t>(VideoCommand(VCMD_TOTAL_LENGTH, 0)) : 0;
  ProgressLine progress;
  while (ok && (frames < 0 || written < frames)) {
    if (avi && length_ms > 0) {
      const auto ms = static_cast<int32_t>(VideoCommand(VCMD_PICTURE_TIME, 0));
      progress.show(ms / 1000.0, static_cast<int>(int64_t{ms} * 100 / length_ms));
    }
    if (have_picture) {
      VideoCommand(VCMD_HOLD_PICTURE, 0);
      const auto *planes = reinterpret_cast<const KestrumPlaneRecord *>(VideoCommand(VCMD_PLANE_RECORD, 0));
      if (planes && yuv) ok = write_yuv(yuv.get(), *planes, width, height);
      if (planes && ok && rgb) ok = write_ppm(rgb.get(), copy, scratch, width, height);
      VideoCommand(VCMD_RELEASE_PICTURE, 0);
      if (planes) ++written;
    }
    if (frames >= 0 && written >= frames) break;
    have_picture = VideoStep() != 0;
    if (!have_picture) break;
  }
  if (avi && ok) {
    if (frames < 0) progress.show(length_ms / 1000.0, 100);
    progress.finish();
  }
  VideoClose(1);
  VideoShutdown();
  if (!ok) {
    std::fprintf(stderr, "razavori video: writing failed\n");
    return 1;
  }
  std::printf("%s: %dx%d, %ld pictures\n", path, width, height, written);
  return 0;
}

}  // namespace razavori_cli
