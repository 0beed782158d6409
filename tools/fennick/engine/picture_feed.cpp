#include "tools/fennick/engine/picture_feed.h"

#include <algorithm>

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

void ConvertedRows::allocate(int32_t width, int32_t height, int32_t rows_held) {
  width_ = width;
  height_ = height;
  row_bytes_ = static_cast<size_t>(width) * 3;
  ring_.assign(row_bytes_ * static_cast<size_t>(rows_held), 0);
  held_.assign(static_cast<size_t>(rows_held), -1);
}

bool ConvertedRows::start(const tools_common::PlanesView &planes) {
  std::fill(held_.begin(), held_.end(), -1);
  return !held_.empty() && planes.width == width_ && planes.height == height_ &&
         converter_.start(planes, width_) && converter_.width() == width_;
}

const uint8_t *ConvertedRows::row(int32_t y) {
  // Rows come in rising order and no more than the ring holds are in use:
  // a row's slot is free again once a row this many later is asked for.
  const size_t slot = static_cast<size_t>(y) % held_.size();
  uint8_t *line = ring_.data() + slot * row_bytes_;
  if (held_[slot] != y) {
    converter_.convert_row(y, line);
    held_[slot] = y;
  }
  return line;
}

bool PictureFeed::start(int32_t source_width, int32_t source_height, int32_t out_width, int32_t out_height,
                        bool letterbox, VideoProcessing processing, bool smooth_zoom) {
  letterbox_ = letterbox;
  smooth_ = smooth_zoom;
  processing_ = processing;
  scaled_ = letterbox || out_width != source_width || out_height != source_height;
  source_ = {};
  header_ = tools_common::bitmap_header(out_width, out_height);
  by_rows_ = processing == VideoProcessing::kHigh && scaled_ &&
             tools_common::uses_area_filter(source_width, source_height, out_width, out_height, letterbox,
                                            smooth_zoom);
  if (by_rows_) {
    int32_t top = 0;
    int32_t band = out_height;
    if (letterbox) tools_common::letterbox_band(out_width, out_height, &top, &band);
    for (ConvertedRows &r : rows_)
      r.allocate(source_width, source_height, tools_common::area_rows_held(source_height, band));
  }
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

bool PictureFeed::convert_by_rows(const ShownPicture &shown, tools_common::PictureBitmap *out) {
  const auto *planes = reinterpret_cast<const KestrumPlaneRecord *>(VideoCommand(VCMD_PLANE_RECORD, 0));
  if (!planes || !planes->y) return false;
  const tools_common::PlanesView view{planes->y,        planes->cb,       planes->cr,  planes->y_pitch,
                                      planes->cb_pitch, planes->cr_pitch, shown.width, shown.height};
  // Another size than the row's (or lines narrower than the picture) take
  // the whole-picture path.
  if (view.y_pitch < view.width || !rows_[0].start(view) || !rows_[1].start(view)) return false;
  struct Part {
    ConvertedRows *rows;
    tools_common::PictureBitmap *out;
    int32_t top, band, first, end;
    static void make(void *arg) {
      const Part &p = *static_cast<const Part *>(arg);
      tools_common::scale_area_rows(*p.rows, p.out, 0, p.top, p.out->width(), p.band, p.first, p.end);
    }
  };
  int32_t top = 0;
  int32_t band = 0;
  tools_common::area_target(out, letterbox_, &top, &band);
  Part upper{&rows_[0], out, top, band, 0, band / 2};
  Part lower{&rows_[1], out, top, band, band / 2, band};
  lower_half_.post(Part::make, &lower);
  Part::make(&upper);
  lower_half_.wait();
  return true;
}

bool PictureFeed::take_current(const ShownPicture &shown, tools_common::PictureBitmap *out) {
  if (!out || out->empty()) return false;
  VideoCommand(VCMD_HOLD_PICTURE, 0);
  if (by_rows_ && convert_by_rows(shown, out)) {
    VideoCommand(VCMD_RELEASE_PICTURE, 0);
    return true;
  }
  const bool ok = convert(shown, direct() ? out : &source_);
  VideoCommand(VCMD_RELEASE_PICTURE, 0);
  if (!ok) return false;
  if (!direct()) tools_common::scale_picture(source_, out, letterbox_, smooth_, &scratch_);
  return true;
}

}  // namespace fennick
