// Binds the engine to the colour converters.
#include "video/engine/output_link.h"

#include "video/output/frame_copy.h"

namespace kestrum {

namespace {
PlaneRecord to_record(const KestrumPicture &p) {
  PlaneRecord r;
  r.y = p.y;
  r.cb = p.cb;
  r.cr = p.cr;
  r.y_pitch = p.y_pitch;
  r.cb_pitch = p.c_pitch;
  r.cr_pitch = p.c_pitch;
  r.coded_width = p.coded_width;
  r.coded_height = p.coded_height;
  r.display_width = p.width;
  r.display_height = p.height;
  return r;
}
}  // namespace

void publish_shown_picture(const KestrumPicture *picture) {
  if (!picture || picture->chroma_format != 1) {
    // The converters take 4:2:0 only.
    set_shown_picture(nullptr);
    return;
  }
  const PlaneRecord r = to_record(*picture);
  set_shown_picture(&r);
}

KestrumFrameCopy frame_copy_routine(bool smooth) {
  return smooth ? &kestrum_frame_copy_smooth : &kestrum_frame_copy_plain;
}

void output_set_brightness(int32_t value) { colour_output().set_brightness(value); }
void output_set_mono_tint(int32_t cb, int32_t cr) { colour_output().set_mono_tint(cb, cr); }

int32_t convert_rgb32(const KestrumPicture &picture, int32_t colour, uint8_t *dst, int32_t pitch) {
  if (picture.chroma_format != 1) return 0;
  return colour_output().copy(to_record(picture), 32, colour, 0, ChromaFilter::kNearest, dst, pitch);
}

}  // namespace kestrum
