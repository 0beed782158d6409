#include "video/output/frame_copy.h"

#include <algorithm>
#include <cstring>

#include "video/cpu/cpu_features.h"

namespace kestrum {

bool pixel_format_from_bits(int bits_per_pixel, PixelFormat &format) {
  switch (bits_per_pixel) {
    case 15:
      format = kRgb15;
      return true;
    case 16:
      format = kRgb16;
      return true;
    case 24:
      format = kRgb24;
      return true;
    case 32:
      format = kRgb32;
      return true;
    default:
      return false;
  }
}

ColourOutput::ColourOutput(uint32_t cpu_flags) {
  init_colour_dsp(dsp_, cpu_flags);
  build_mono_tables(mono_, tint_cb_, tint_cr_, brightness_);
}

void ColourOutput::set_brightness(int32_t value) {
  std::lock_guard lock(mutex_);
  brightness_ = static_cast<int8_t>(value & 0xFF);
  build_mono_tables(mono_, tint_cb_, tint_cr_, brightness_);
}

void ColourOutput::set_mono_tint(int32_t cb, int32_t cr) {
  std::lock_guard lock(mutex_);
  tint_cb_ = std::clamp(cb, 0, 255);
  tint_cr_ = std::clamp(cr, 0, 255);
  build_mono_tables(mono_, tint_cb_, tint_cr_, brightness_);
}

int ColourOutput::copy(const PlaneRecord &pic, int bits_per_pixel, int colour, int variant,
                       ChromaFilter filter, void *dst, int32_t pitch) {
  PixelFormat format;
  if (!pixel_format_from_bits(bits_per_pixel, format) || !dst) return 0;
  if (!pic.y || !pic.cb || !pic.cr || pic.coded_width <= 0 || pic.coded_height <= 0) return 0;
  // Only the display area is written: a caller sizes its bitmap by the
  // picture's size, and the coded size may be larger (to a multiple of 16).
  const int width = pic.display_width > 0 ? std::min(pic.display_width, pic.coded_width) : pic.coded_width;
  const int height =
      pic.display_height > 0 ? std::min(pic.display_height, pic.coded_height) : pic.coded_height;
  const int chroma_width = (width + 1) / 2;
  if (pic.y_pitch < width || pic.cb_pitch < chroma_width || pic.cr_pitch < chroma_width) return 0;

  std::lock_guard lock(mutex_);
  uint8_t *out = static_cast<uint8_t *>(dst);
  if (colour) {
    copy_colour(pic, format, width, height, variant != 0 && filter == ChromaFilter::kVertical, out, pitch);
  } else {
    copy_mono(pic, format, width, height, out, pitch);
  }
  last_dst_ = dst;
  last_pitch_ = pitch;
  return 1;
}

void ColourOutput::copy_colour(const PlaneRecord &pic, PixelFormat format, int width, int height, bool smooth,
                               uint8_t *dst, ptrdiff_t pitch) {
  const ColourPairFn convert = dsp_.pair[format];
  const int chroma_lines = (height + 1) / 2;
  if (!smooth) {
    // Two luma lines per chroma line, sharing its chroma terms.
    for (int line = 0; line < height; line += 2) {
      const int c = line / 2;
      const bool pair = line + 1 < height;
      convert(dst + line * pitch, pair ? dst + (line + 1) * pitch : nullptr,
              pic.y + ptrdiff_t{line} * pic.y_pitch,
              pair ? pic.y + ptrdiff_t{line + 1} * pic.y_pitch : nullptr,
              pic.cb + ptrdiff_t{c} * pic.cb_pitch, pic.cr + ptrdiff_t{c} * pic.cr_pitch, width, brightness_);
    }
    return;
  }
  // A 4:2:0 chroma line sits between its two luma lines, so the upper line
  // leans towards the chroma line above and the lower one towards the line
  // below: 3/4 of its own line, 1/4 of that neighbour (edges repeat).
  const int chroma_width = (width + 1) / 2;
  if (cb_line_.size() < size_t(chroma_width)) {
    cb_line_.resize(chroma_width);
    cr_line_.resize(chroma_width);
  }
  uint8_t *cb_line = cb_line_.data();
  uint8_t *cr_line = cr_line_.data();
  for (int line = 0; line < height; ++line) {
    const int c = line / 2;
    const int n = std::clamp((line & 1) ? c + 1 : c - 1, 0, chroma_lines - 1);
    const uint8_t *cb0 = pic.cb + ptrdiff_t{c} * pic.cb_pitch, *cb1 = pic.cb + ptrdiff_t{n} * pic.cb_pitch;
    const uint8_t *cr0 = pic.cr + ptrdiff_t{c} * pic.cr_pitch, *cr1 = pic.cr + ptrdiff_t{n} * pic.cr_pitch;
    dsp_.blend(cb_line, cb0, cb1, chroma_width);
    dsp_.blend(cr_line, cr0, cr1, chroma_width);
    convert(dst + line * pitch, nullptr, pic.y + ptrdiff_t{line} * pic.y_pitch, nullptr, cb_line, cr_line,
            width, brightness_);
  }
}

void ColourOutput::copy_mono(const PlaneRecord &pic, PixelFormat format, int width, int height, uint8_t *dst,
                             ptrdiff_t pitch) const {
  for (int line = 0; line < height; ++line) {
    const uint8_t *y = pic.y + ptrdiff_t{line} * pic.y_pitch;
    uint8_t *d = dst + line * pitch;
    switch (format) {
      case kRgb15:
      case kRgb16: {
        const uint16_t *table = format == kRgb15 ? mono_.rgb15.data() : mono_.rgb16.data();
        for (int x = 0; x < width; ++x) std::memcpy(d + 2 * x, &table[y[x]], 2);
        break;
      }
      case kRgb24:
        for (int x = 0; x < width; ++x) {
          const uint32_t p = mono_.rgb32[y[x]];
          d[3 * x] = static_cast<uint8_t>(p);
          d[3 * x + 1] = static_cast<uint8_t>(p >> 8);
          d[3 * x + 2] = static_cast<uint8_t>(p >> 16);
        }
        break;
      default:
        for (int x = 0; x < width; ++x) std::memcpy(d + 4 * x, &mono_.rgb32[y[x]], 4);
        break;
    }
  }
}

ColourOutput &colour_output() {
  static ColourOutput output(detect_cpu_flags());
  return output;
}

namespace {

std::mutex &shown_mutex() {
  static std::mutex m;
  return m;
}

PlaneRecord &shown_record() {
  static PlaneRecord record;
  return record;
}

bool shown_valid = false;

int32_t copy_shown(int32_t bits_per_pixel, int32_t colour, int32_t variant, void *dst, int32_t pitch,
                   ChromaFilter filter) {
  PlaneRecord pic;
  {
    std::lock_guard lock(shown_mutex());
    if (!shown_valid) return 0;
    pic = shown_record();
  }
  return colour_output().copy(pic, bits_per_pixel, colour, variant, filter, dst, pitch);
}

}  // namespace

void set_shown_picture(const PlaneRecord *pic) {
  std::lock_guard lock(shown_mutex());
  shown_valid = pic != nullptr;
  shown_record() = pic ? *pic : PlaneRecord{};
}

extern "C" int32_t kestrum_frame_copy_plain(int32_t bits_per_pixel, int32_t colour, int32_t variant,
                                            void *dst, int32_t pitch) {
  try {
    return copy_shown(bits_per_pixel, colour, variant, dst, pitch, ChromaFilter::kNearest);
  } catch (...) {
    return 0;
  }
}

extern "C" int32_t kestrum_frame_copy_smooth(int32_t bits_per_pixel, int32_t colour, int32_t variant,
                                             void *dst, int32_t pitch) {
  try {
    return copy_shown(bits_per_pixel, colour, variant, dst, pitch, ChromaFilter::kVertical);
  } catch (...) {
    return 0;
  }
}

}  // namespace kestrum
