// A small planar 4:2:0 picture owning its planes, for the output tests.
#pragma once

#include <cstdint>
#include <vector>

#include "video/output/plane_record.h"

namespace output_test {

struct Picture {
  int width = 0, height = 0;  // coded
  std::vector<uint8_t> y, cb, cr;

  Picture(int w, int h) : width(w), height(h), y(size_t(w) * h), cb(size_t(w / 2) * (h / 2)), cr(cb.size()) {}

  uint8_t &luma(int x, int yy) { return y[size_t(yy) * width + x]; }
  uint8_t &chroma_b(int x, int yy) { return cb[size_t(yy) * (width / 2) + x]; }
  uint8_t &chroma_r(int x, int yy) { return cr[size_t(yy) * (width / 2) + x]; }

  kestrum::PlaneRecord record(int display_width = 0, int display_height = 0) const {
    kestrum::PlaneRecord r;
    r.y = y.data();
    r.cb = cb.data();
    r.cr = cr.data();
    r.y_pitch = width;
    r.cb_pitch = r.cr_pitch = width / 2;
    r.coded_width = width;
    r.coded_height = height;
    r.display_width = display_width;
    r.display_height = display_height;
    return r;
  }
};

}  // namespace output_test
