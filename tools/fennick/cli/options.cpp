#include "tools/fennick/cli/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tools/fennick/engine/convert_file.h"

namespace fennick_cli {

namespace {

constexpr int32_t kBitRates[] = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};

struct RateName {
  const char *name;
  int32_t code;
};
constexpr RateName kRates[] = {{"auto", -1}, {"23.976", 1}, {"24", 2}, {"25", 3}, {"29.97", 4}, {"30", 5}};

bool parse_int(const char *text, int base, long lo, long hi, long *out) {
  if (!text || !*text) return false;
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, base);
  if (errno || !end || *end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

}  // namespace

const char *convert_usage() {
  return "usage: fennick convert IN... [--out DIR] [--vcd] [--size WxH | --original]\n"
         "                       [--rate auto|23.976|24|25|29.97|30] [--layer 1|2] [--bitrate K]\n"
         "                       [--range A-B] [--audio ID] [--subpicture ID] [--quality fast|mmx|high]\n"
         "                       [--no-smooth-zoom] [--overwrite]\n"
         "       fennick --help | --version\n"
         "\n"
         "Converts MPEG system streams and DVD title files (VOB) to MPEG-1 system\n"
         "streams named after their inputs with the extension MPG, in DIR (default:\n"
         "the current folder). --vcd writes Video CD pictures and sound (352x288 or\n"
         "352x240, 25 or 29.97 pictures per second, Layer II 224 kbit/s). --range\n"
         "converts A to B percent of each source. --audio picks an audio stream by\n"
         "id (0xC0, 0x80, ...). An existing output is kept unless --overwrite.\n"
         "Ctrl-C stops the current file (kept, shorter) and skips the rest.\n"
         "Exit: 0 done, 1 a file failed, 2 usage, 130 stopped.\n";
}

std::string parse_convert(int argc, char **argv, const fennick::JobSettings &defaults, ConvertOptions *out) {
  ConvertOptions o;
  o.settings = defaults;
  o.settings.original_size = true;
  bool size_given = false;
  for (int i = 0; i < argc; ++i) {
    const std::string_view a = argv[i];
    const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto need = [&](const char *what) -> std::string {
      if (!value) return std::string(a) + " wants " + what;
      ++i;
      return {};
    };
    std::string err;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--vcd") {
      o.settings.video_cd = true;
    } else if (a == "--original") {
      if (size_given) return "--size and --original exclude each other";
      o.settings.original_size = true;
      size_given = true;
    } else if (a == "--overwrite") {
      o.settings.overwrite = true;
    } else if (a == "--no-smooth-zoom") {
      o.settings.smooth_zoom = false;
    } else if (a == "--out") {
      if (!(err = need("a folder")).empty()) return err;
      o.out_dir = value;
    } else if (a == "--size") {
      if (!(err = need("WxH")).empty()) return err;
      if (size_given) return "--size and --original exclude each other";
      int w = 0, h = 0;
      char tail = 0;
      if (std::sscanf(value, "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 4095 || h > 4095)
        return std::string("--size wants WxH with sides 16..4095, not \"") + value + "\"";
      o.settings.original_size = false;
      o.settings.width = w;
      o.settings.height = h;
      size_given = true;
    } else if (a == "--rate") {
      if (!(err = need("a rate")).empty()) return err;
      bool found = false;
      for (const auto &r : kRates)
        if (!std::strcmp(r.name, value)) {
          o.settings.frame_rate_code = r.code;
          found = true;
        }
      if (!found) return std::string("--rate is auto, 23.976, 24, 25, 29.97 or 30, not \"") + value + "\"";
    } else if (a == "--layer") {
      long v = 0;
      if (!(err = need("1 or 2")).empty()) return err;
      if (!parse_int(value, 10, 1, 2, &v)) return "--layer is 1 or 2";
      o.settings.layer = static_cast<int32_t>(v);
    } else if (a == "--bitrate") {
      long v = 0;
      if (!(err = need("kbit/s")).empty()) return err;
      bool ok = parse_int(value, 10, 1, 384, &v);
      bool listed = false;
      for (int32_t r : kBitRates) listed = listed || r == v;
      if (!ok || !listed) return "--bitrate is one of 32 48 56 64 80 96 112 128 160 192 224 256 320 384";
      o.settings.audio_kbps = static_cast<int32_t>(v);
    } else if (a == "--range") {
      if (!(err = need("A-B")).empty()) return err;
      int s = -1, e = -1;
      char tail = 0;
      if (std::sscanf(value, "%d-%d%c", &s, &e, &tail) != 2 || s < 0 || e > 100 || s >= e)
        return std::string("--range wants percentages A-B with 0 <= A < B <= 100, not \"") + value + "\"";
      o.settings.range_mode = true;
      o.settings.range_start = s;
      o.settings.range_end = e;
    } else if (a == "--audio") {
      long v = 0;
      if (!(err = need("a stream id")).empty()) return err;
      if (!parse_int(value, 0, 0, 0xFF, &v)) return "--audio wants a stream id such as 0xC0 or 0x80";
      o.streams.audio_id = static_cast<int32_t>(v);
    } else if (a == "--subpicture") {
      long v = 0;
      if (!(err = need("a subpicture id")).empty()) return err;
      if (!parse_int(value, 0, 0, 0xFF, &v)) return "--subpicture wants a subpicture number";
      if (!fennick::subpicture_burn_in_available()) return "--subpicture is not available in this build";
      o.streams.subpicture_id = static_cast<int32_t>(v);
    } else if (a == "--quality") {
      if (!(err = need("fast, mmx or high")).empty()) return err;
      const std::string_view q = value;
      if (q == "fast")
        o.settings.processing = fennick::VideoProcessing::kFast;
      else if (q == "mmx")
        o.settings.processing = fennick::VideoProcessing::kMmx;
      else if (q == "high")
        o.settings.processing = fennick::VideoProcessing::kHigh;
      else
        return "--quality is fast, mmx or high";
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option \"" + std::string(a) + "\"";
    } else {
      o.inputs.emplace_back(a);
    }
  }
  if (!o.help && o.inputs.empty()) return "no input file given";
  *out = std::move(o);
  return {};
}

}  // namespace fennick_cli
