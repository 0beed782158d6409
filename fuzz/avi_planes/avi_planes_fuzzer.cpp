// The planar to 4:2:0 conversion on arbitrary sizes, strides, chroma
// layouts and ranges: every plane and output sized to the byte (so a read
// or write past a row's end is caught), and every SIMD level the processor
// has must give the C reference's bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/avi/yuv_planes_dsp.h"
#include "platform/cpu_features.h"

namespace avi = platform::avi;

namespace {

constexpr int32_t kMaxWidth = 700;
constexpr int32_t kMaxHeight = 40;
constexpr size_t kHeaderBytes = 8;

struct Output {
  std::vector<uint8_t> y, cb, cr;
};

// A plane of rows x row_bytes at the given stride: no byte after the last
// row's end.
std::vector<uint8_t> plane(const uint8_t *data, size_t size, int32_t rows, int32_t row_bytes, int32_t stride,
                           size_t &at) {
  std::vector<uint8_t> p(size_t(rows - 1) * size_t(stride) + size_t(row_bytes));
  for (auto &b : p) b = size ? data[at++ % size] : 0;
  return p;
}

Output convert(const avi::YuvPlanesDsp &dsp, const avi::PlanarPicture &in, int32_t ys, int32_t cs) {
  const int32_t cw = (in.width + 1) / 2, ch = (in.height + 1) / 2;
  Output out{std::vector<uint8_t>(size_t(in.height - 1) * size_t(ys) + size_t(in.width)),
             std::vector<uint8_t>(size_t(ch - 1) * size_t(cs) + size_t(cw)),
             std::vector<uint8_t>(size_t(ch - 1) * size_t(cs) + size_t(cw))};
  avi::planar_to_420_with(dsp, in, out.y.data(), out.cb.data(), out.cr.data(), ys, cs);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kHeaderBytes) return 0;
  // Header: width (2 bytes), height, layout and range, three stride pads,
  // the two output stride pads; the rest fills the planes.
  avi::PlanarPicture in;
  in.width = 1 + (data[0] | data[1] << 8) % kMaxWidth;
  in.height = 1 + data[2] % kMaxHeight;
  in.chroma_shift_x = data[3] & 1;
  in.chroma_shift_y = (data[3] >> 1) & 1;
  in.full_range = (data[3] >> 2) & 1;
  const int32_t sw = (in.width + (1 << in.chroma_shift_x) - 1) >> in.chroma_shift_x;
  const int32_t sh = (in.height + (1 << in.chroma_shift_y) - 1) >> in.chroma_shift_y;
  const int32_t strides[3] = {in.width + data[4] % 37, sw + data[5] % 37, sw + data[6] % 37};
  const int32_t ys = in.width + data[7] % 19, cs = (in.width + 1) / 2 + (data[7] >> 5);
  data += kHeaderBytes;
  size -= kHeaderBytes;
  size_t at = 0;
  std::vector<uint8_t> planes[3] = {plane(data, size, in.height, in.width, strides[0], at),
                                    plane(data, size, sh, sw, strides[1], at),
                                    plane(data, size, sh, sw, strides[2], at)};
  for (int p = 0; p < 3; ++p) {
    in.plane[p] = planes[p].data();
    in.stride[p] = strides[p];
  }

  avi::YuvPlanesDsp plain;
  avi::init_yuv_planes_dsp(plain, 0);
  const Output want = convert(plain, in, ys, cs);
  const uint32_t have = platform::detect_cpu_flags();
  for (uint32_t level : {uint32_t{platform::kCpuSse2}, platform::kCpuSse2 | platform::kCpuSsse3,
                         platform::kCpuSse2 | platform::kCpuSsse3 | platform::kCpuAvx2}) {
    if ((have & level) != level) continue;
    avi::YuvPlanesDsp simd;
    avi::init_yuv_planes_dsp(simd, level);
    const Output got = convert(simd, in, ys, cs);
    if (got.y != want.y || got.cb != want.cb || got.cr != want.cr) std::abort();
  }
  return 0;
}
