// The parsers of the plug-in and DVB bodies over arbitrary bytes: the y4m
// stream header line and the stream mix of transport packets. Neither may
// crash, read out of bounds or accept an impossible picture size.
#include <cstddef>
#include <cstdint>
#include <string>

#include "components/rivenne/capture.h"
#include "tools/plugins/y4m/y4m_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string line(reinterpret_cast<const char *>(data), size);
  y4m::Header h;
  if (y4m::parse_header(line, &h)) {
    if (h.width <= 0 || h.height <= 0 || h.width > 16384 || h.height > 16384 || h.rate_num <= 0 ||
        h.rate_den <= 0)
      __builtin_trap();
  }
  const int32_t mix = rivenne::stream_mix(data, size);
  if (mix < 0 || mix > 3) __builtin_trap();
  return 0;
}
