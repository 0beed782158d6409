// Frame copy: the shown picture converted into a caller's RGB buffer.
//
// The engine owns one ColourOutput (colour_output()). It publishes the
// picture the display shows with set_shown_picture() whenever that changes;
// the two C routines below, whose addresses the engine hands to programs,
// convert that picture. Programs bracket the call with the engine's hold and
// release commands so the planes do not change during the copy.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "video/output/colour_dsp.h"
#include "video/output/mono_tables.h"
#include "video/output/plane_record.h"

namespace kestrum {

extern "C" {
/// (bits_per_pixel 15/16/24/32, colour 1 or monochrome 0, variant 0 or 1,
/// destination, pitch in bytes, negative for bottom-up) -> 1, or 0 when
/// nothing was copied.
typedef int32_t (*FrameCopyFn)(int32_t bits_per_pixel, int32_t colour, int32_t variant, void *dst,
                               int32_t pitch);
}

/// How variant 1 treats chroma between the two luma lines of a chroma line.
enum class ChromaFilter {
  kNearest,   ///< both lines take their chroma line as it is
  kVertical,  ///< 3:1 blend with the neighbouring chroma line (smooth)
};

class ColourOutput {
 public:
  explicit ColourOutput(uint32_t cpu_flags);

  /// Brightness: the low byte of value, as a signed byte. Rebuilds the
  /// monochrome tables.
  void set_brightness(int32_t value);
  int brightness() const { return brightness_; }

  /// Monochrome tint (Cb, Cr). Rebuilds the monochrome tables.
  void set_mono_tint(int32_t cb, int32_t cr);
  const MonoTables &mono_tables() const { return mono_; }

  const ColourDsp &dsp() const { return dsp_; }

  /// Converts pic into dst: display height lines of display width pixels
  /// (the coded size where the display size is unset), line i at
  /// dst + i * pitch. Returns 1, or 0 with dst untouched for a format other
  /// than 15/16/24/32 bits, a null dst or an unusable picture.
  int copy(const PlaneRecord &pic, int bits_per_pixel, int colour, int variant, ChromaFilter filter,
           void *dst, int32_t pitch);

  /// Destination and pitch of the last successful copy.
  void *last_dst() const { return last_dst_; }
  int32_t last_pitch() const { return last_pitch_; }

 private:
  void copy_colour(const PlaneRecord &pic, PixelFormat format, int width, int height, bool smooth,
                   uint8_t *dst, ptrdiff_t pitch);
  void copy_mono(const PlaneRecord &pic, PixelFormat format, int width, int height, uint8_t *dst,
                 ptrdiff_t pitch) const;

  ColourDsp dsp_{};
  MonoTables mono_{};
  int brightness_ = 0;
  int tint_cb_ = 128;
  int tint_cr_ = 128;
  // Smoothed chroma of the line being converted.
  std::vector<uint8_t> cb_line_;
  std::vector<uint8_t> cr_line_;
  void *last_dst_ = nullptr;
  int32_t last_pitch_ = 0;
  std::mutex mutex_;  // one copy at a time: the line buffers are shared
};

/// Maps bits per pixel to a format; false for anything but 15/16/24/32.
bool pixel_format_from_bits(int bits_per_pixel, PixelFormat &format);

/// The engine's instance (built on first use with the detected CPU flags).
ColourOutput &colour_output();

/// Publishes the picture the display shows (copied); null means none.
void set_shown_picture(const PlaneRecord *pic);

extern "C" {
/// Frame-copy routine without smoothing: variant 1 gives the same pixels as
/// variant 0.
int32_t kestrum_frame_copy_plain(int32_t bits_per_pixel, int32_t colour, int32_t variant, void *dst,
                                 int32_t pitch);
/// Frame-copy routine whose variant 1 blends each line's chroma with the
/// neighbouring chroma line (chroma lines sit between two luma lines).
int32_t kestrum_frame_copy_smooth(int32_t bits_per_pixel, int32_t colour, int32_t variant, void *dst,
                                  int32_t pitch);
}

}  // namespace kestrum
