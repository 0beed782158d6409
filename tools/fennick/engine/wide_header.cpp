#include "tools/fennick/engine/wide_header.h"

#include <array>
#include <cstdint>

#include "media/media_api.h"

namespace fennick {

namespace {
// The media layer's open of a bare video elementary stream.
constexpr uint32_t kOpenVideoElementary = 0x88888888u;
constexpr int32_t kLookBytes = 256 * 1024;
constexpr uint8_t kSequenceHeaderCode = 0xB3;
constexpr int32_t kAspect16x9 = 3;
}  // namespace

bool header_says_wide(const std::string &path) {
  int32_t length = 0;
  const SourceKind kind = SysProbe(path.c_str(), &length);
  if (kind != SOURCE_KIND_SYSTEM && kind != SOURCE_KIND_VIDEO) return false;
  if (SysOpen(path.c_str(), kind == SOURCE_KIND_VIDEO ? kOpenVideoElementary : 0) == -1) return false;
  std::array<uint8_t, 16384> buf{};
  uint32_t window = 0xFFFFFFFFu;
  int32_t after = -1;  // bytes of the header seen after its start code
  int32_t aspect = -1;
  for (int32_t total = 0; total < kLookBytes && aspect < 0;) {
    const int32_t got = SysReadVideo(buf.data(), static_cast<int32_t>(buf.size()));
    if (got <= 0) break;
    total += got;
    for (int32_t i = 0; i < got && aspect < 0; ++i) {
      if (after >= 0 && ++after == 4) aspect = buf[static_cast<size_t>(i)] >> 4;
      window = (window << 8) | buf[static_cast<size_t>(i)];
      if (after < 0 && window == (0x100u | kSequenceHeaderCode)) after = 0;
    }
  }
  SysClose();
  return aspect == kAspect16x9;
}

}  // namespace fennick
