// Mixing a decoded subpicture area into 4:2:0 planes, keeping what it
// changed so that the planes can be restored exactly.
#pragma once

#include <cstdint>
#include <vector>

namespace glyvex {

struct PlaneSet {
  uint8_t *y, *cb, *cr;
  int32_t y_pitch, c_pitch;
  int32_t width, height;
};

// Colours of pixel values 0..3: luma, chroma and 8-bit alpha.
struct PixelColours {
  uint8_t y[4], cb[4], cr[4], alpha[4];
};

class Mixer {
 public:
  // Blends the area (pixels: width * height values 0..3, placed at x, y)
  // into the planes, clipped to them. -> true when anything changed.
  bool mix(const PlaneSet &planes, const uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height,
           const PixelColours &colours);
  // Puts back what the last mix changed (once).
  void restore();
  bool changed() const { return saved_; }

 private:
  void save(const PlaneSet &p);
  PlaneSet planes_{};
  int32_t lx0_ = 0, ly0_ = 0, lx1_ = 0, ly1_ = 0;  // luma box
  int32_t cx0_ = 0, cy0_ = 0, cx1_ = 0, cy1_ = 0;  // chroma box
  std::vector<uint8_t> store_;
  bool saved_ = false;
};

}  // namespace glyvex
