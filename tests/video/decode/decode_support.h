// Decoding whole streams for the oracle tests: pictures in display order,
// cropped to the display size, and PSNR against ffmpeg's raw output.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/tool_run.h"
#include "tests/video/decode/stream_support.h"
#include "video/decode/decoder.h"

namespace video_test {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> y, cb, cr;  // planar; chroma by the chroma format
};

/// Chroma plane size of a picture: 1 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4.
inline void chroma_size(int chroma_format, int width, int height, int &cw, int &ch) {
  cw = chroma_format == 3 ? width : (width + 1) / 2;
  ch = chroma_format == 1 ? (height + 1) / 2 : height;
}

inline Picture crop_planes(const kestrum::Planes &p, int width, int height, int chroma_format = 1) {
  Picture pic;
  pic.width = width;
  pic.height = height;
  int cw, ch;
  chroma_size(chroma_format, width, height, cw, ch);
  pic.y.resize(size_t(width) * height);
  pic.cb.resize(size_t(cw) * ch);
  pic.cr.resize(size_t(cw) * ch);
  for (int r = 0; r < height; ++r)
    std::copy_n(p.y + size_t(r) * p.y_stride, width, pic.y.data() + size_t(r) * width);
  for (int r = 0; r < ch; ++r) {
    std::copy_n(p.cb + size_t(r) * p.cb_stride, cw, pic.cb.data() + size_t(r) * cw);
    std::copy_n(p.cr + size_t(r) * p.cr_stride, cw, pic.cr.data() + size_t(r) * cw);
  }
  return pic;
}

/// Decodes a whole stream as the engine does (open, then one picture at a
/// time, then the held-back last anchor) and returns the shown pictures.
inline std::vector<Picture> decode_stream(const std::vector<uint8_t> &bytes,
                                          const kestrum::DecoderSettings &settings = {},
                                          int32_t chunk = 1 << 30) {
  MemorySource m{bytes};
  m.chunk = chunk;
  kestrum::Decoder d;
  d.set_settings(settings);
  d.set_source(m.source());
  std::vector<Picture> out;
  if (!d.open_stream()) return out;
  const int w = d.sequence().horizontal_size, h = d.sequence().vertical_size;
  const int cf = d.sequence().chroma_format;
  auto take = [&] {
    if (d.has_shown_picture() && !d.expecting_second_field())
      out.push_back(crop_planes(d.shown_planes(), w, h, cf));
  };
  take();
  for (;;) {
    const int64_t before = d.pictures_decoded();
    if (!d.step_picture()) break;
    if (d.pictures_decoded() != before) take();
  }
  if (d.show_last_anchor()) out.push_back(crop_planes(d.shown_planes(), w, h, cf));
  return out;
}

/// The reference made beside a stream: "X.yuv" for stream X, whether X
/// is taken with or without its extension.
inline std::string reference_path(const std::string &stream, const std::string &suffix) {
  const std::string whole = stream + suffix;
  std::ifstream f(whole);
  if (f.good()) return whole;
  const auto dot = stream.find_last_of('.');
  const auto slash = stream.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return whole;
  return stream.substr(0, dot) + suffix;
}

/// Reads ffmpeg's raw planar pictures (yuv420p unless told).
inline std::vector<Picture> read_yuv(const std::string &path, int width, int height, int chroma_format = 1) {
  const std::vector<uint8_t> raw = testing_support::file_bytes(path);
  int cw, ch;
  chroma_size(chroma_format, width, height, cw, ch);
  const size_t frame = size_t(width) * height + 2 * size_t(cw) * ch;
  std::vector<Picture> out;
  for (size_t off = 0; off + frame <= raw.size(); off += frame) {
    Picture p;
    p.width = width;
    p.height = height;
    const uint8_t *b = raw.data() + off;
    p.y.assign(b, b + size_t(width) * height);
    b += size_t(width) * height;
    p.cb.assign(b, b + size_t(cw) * ch);
    b += size_t(cw) * ch;
    p.cr.assign(b, b + size_t(cw) * ch);
    out.push_back(std::move(p));
  }
  return out;
}

/// PSNR of one plane (99 dB for identical planes).
inline double plane_psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sse = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    sse += d * d;
  }
  if (sse == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / sse);
}

}  // namespace video_test
