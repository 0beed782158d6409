#include "tools/fennick/engine/picture_feed.h"

#include "tools/common/ycbcr_to_bgr.h"

namespace fennick {

namespace {

int32_t note_picture(void *user, const KestrumPicture *picture) {
  auto *shown = static_cast<ShownPicture *>(user);
  shown->width = picture->width;
  shown->height = picture->height;
  shown->fields = picture->fields > 0 ? picture->fields : 2;
  ++shown->presented;
  return 1;
}

}  // namespace

KestrumHostDisplay silent_display(ShownPicture *shown) {
  KestrumHostDisplay d{};
  d.user = shown;
  d.present_planes = note_picture;
  return d;
}

bool PictureFeed::start(int32_t source_width, int32_t source_height, int32_t out_width, int32_t out_height,
                        bool letterbox, VideoProcessing processing, bool smooth_zoom) {
  letterbox_ = letterbox;
  smooth_ = smooth_zoom;
  processing_ = processing;
  scaled_ = letterbox || out_width != source_width || out_height != source_height;
  source_ = {};
  header_ = tools_common::bitmap_header(out_width, out_height);
  // The output bitmaps are the encode thread's; their size is checked there.
  return !scaled_ || source_.allocate(source_width, source_height);
}

bool PictureFeed::convert(const ShownPicture &shown, tools_common::PictureBitmap *into) {
  const auto *planes = reinterpret_cast<const KestrumPlaneRecord *>(VideoCommand(VCMD_PLANE_RECORD, 0));
  if (!planes || !planes->y) return false;
  if (processing_ != VideoProcessing::kHigh && shown.width == into->width() &&
      shown.height == into->height()) {
    const auto copy = reinterpret_cast<KestrumFrameCopy>(VideoCommand(VCMD_FRAME_COPY_SMOOTH, 0));
    // Top picture row at the last stored row, moving up: a bottom-up
    // bitmap, each row the bitmap's own padded length apart.
    if (copy && copy(24, 1, 1, into->row(0), -into->row_bytes())) return true;
  }
  tools_common::PlanesView view{planes->y,        planes->cb,       planes->cr,  planes->y_pitch,
                                planes->cb_pitch, planes->cr_pitch, shown.width, shown.height};
  if (view.width <= 0 || view.height <= 0) {
    view.width = into->width();
    view.height = into->height();
  }
  // A picture wider than its own lines is not read past them.
  if (view.y_pitch < view.width) view.width = view.y_pitch;
  return tools_common::ycbcr_to_bgr_smoothed(view, into);
}

bool PictureFeed::take_current(const ShownPicture &shown, tools_common::PictureBitmap *out) {
  if (!out || out->empty()) return false;
  VideoCommand(VCMD_HOLD_PICTURE, 0);
  const bool ok = convert(shown, direct() ? out : &source_);
  VideoCommand(VCMD_RELEASE_PICTURE, 0);
  if (!ok) return false;
  if (!direct()) tools_common::scale_picture(source_, out, letterbox_, smooth_, &scratch_);
  return true;
}

}  // namespace fennick
