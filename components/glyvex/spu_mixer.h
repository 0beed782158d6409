// Mixing a decoded subpicture area into 4:2:0 planes, keeping what it
// changed so that the planes can be restored exactly. The area's colours
// are laid out once per change (Layer); each picture then only blends.
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

// The area as alpha and colour planes: luma per pixel, chroma per sample of
// the picture's chroma grid (a 2x2 block's alpha and colour averaged, its
// pixels outside the area transparent black), and per luma line the span
// that is not transparent.
struct Layer {
  int32_t x = 0, y = 0, width = 0, height = 0;
  std::vector<uint8_t> alpha, luma;
  int32_t cx = 0, cy = 0, c_width = 0, c_height = 0;
  std::vector<uint8_t> c_alpha, cb, cr;
  std::vector<int32_t> span_first, span_end;  // per line; first >= end when empty
};

// pixels: width * height values 0..3 placed at (x, y).
void build_layer(const uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height,
                 const PixelColours &colours, Layer &out);

class Mixer {
 public:
  // Blends the layer into the planes, clipped to them. -> true when
  // anything may have changed.
  bool mix(const PlaneSet &planes, const Layer &layer);
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
