#include "tools/razavori/overlay_arg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "components/lumpane/lumpane.h"
#include "media/media_api.h"
#include "video/video_api.h"

namespace razavori_cli {

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

}  // namespace

bool parse_overlay(const char *command, const char *value, OverlayArg *out) {
  std::string v = value;
  const size_t at = v.rfind('@');
  out->path = v.substr(0, at);
  if (at != std::string::npos) {
    int x = 0, y = 0, opacity = 256, used = 0;
    const std::string place = v.substr(at + 1);
    const int n = std::sscanf(place.c_str(), "%d,%d%n,%d%n", &x, &y, &used, &opacity, &used);
    if (n < 2 || static_cast<size_t>(used) != place.size() || opacity < 0 || opacity > 256) {
      std::fprintf(stderr, "razavori %s: --overlay wants PIC.bmp[@X,Y[,OPACITY 0-256]]\n", command);
      return false;
    }
    out->x = x, out->y = y, out->opacity = opacity;
  }
  return !out->path.empty();
}

bool load_overlay(const char *command, OverlayArg *arg) {
  std::ifstream in(arg->path, std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  if (!in.is_open()) {
    std::fprintf(stderr, "razavori %s: cannot read %s\n", command, arg->path.c_str());
    return false;
  }
  bool ok = file.size() >= kFileHeader + kInfoHeader && file[0] == 'B' && file[1] == 'M';
  if (ok) {
    const uint8_t *info = file.data() + kFileHeader;
    const auto width = static_cast<int32_t>(le32(info + 4)), height = static_cast<int32_t>(le32(info + 8));
    const int bits = info[14] | info[15] << 8;
    const uint32_t header = le32(info);
    const uint32_t pixels_at = le32(file.data() + 10);
    const uint64_t stride =
        (static_cast<uint64_t>(width > 0 ? width : 0) * static_cast<uint64_t>(bits / 8) + 3) & ~3ull;
    const uint64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    // The engine takes the header and the pixels right after it.
    ok = header >= kInfoHeader && pixels_at >= kFileHeader + header && width > 0 &&
         width <= LUMPANE_MAX_SIDE && rows > 0 && rows <= LUMPANE_MAX_SIDE && (bits == 24 || bits == 32) &&
         pixels_at + stride * rows <= file.size();
    if (ok) {
      arg->bitmap.assign(file.begin() + kFileHeader, file.begin() + kFileHeader + header);
      arg->bitmap[16] = arg->bitmap[17] = arg->bitmap[18] = arg->bitmap[19] = 0;  // uncompressed
      arg->bitmap.insert(arg->bitmap.end(), file.begin() + pixels_at,
                         file.begin() + pixels_at + stride * rows);
    }
  }
  if (!ok)
    std::fprintf(stderr, "razavori %s: %s is not a 24- or 32-bit bitmap\n", command, arg->path.c_str());
  return ok;
}

bool install_overlay(const char *command, const OverlayArg &arg) {
  const auto set = reinterpret_cast<LumpaneSetPictureFn>(VideoCommand(VCMD_OVERLAY_ENTRY, 0));
  if (!set || !set(arg.bitmap.data(), arg.x, arg.y, arg.opacity)) {
    std::fprintf(stderr, "razavori %s: the engine refused the overlay picture %s\n", command,
                 arg.path.c_str());
    return false;
  }
  return true;
}

int32_t parse_subpicture(const char *value) {
  char *end = nullptr;
  const long n = std::strtol(value, &end, 0);
  if (!end || *end || n < 0 || n > 0x3F || (n > 31 && n < 0x20)) return -1;
  return static_cast<int32_t>(n & 31);
}

void choose_subpicture(int32_t number) {
  SysControl(CTL_SPU_SELECT, number);
  SysControl(CTL_SPU_ENABLE, 1);
  VideoCommand(VCMD_MIX_SUBPICTURE, 1);
}

}  // namespace razavori_cli
