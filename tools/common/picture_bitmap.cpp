#include "tools/common/picture_bitmap.h"

#include <algorithm>
#include <cstring>

namespace tools_common {

namespace {
constexpr int32_t kMaxSide = 4096;
}

PikranBitmapHeader bitmap_header(int32_t width, int32_t height) {
  PikranBitmapHeader h{};
  h.biSize = sizeof(PikranBitmapHeader);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = 0;
  h.biSizeImage = static_cast<uint32_t>(bitmap_row_bytes(width)) * static_cast<uint32_t>(height);
  return h;
}

bool PictureBitmap::allocate(int32_t width, int32_t height) {
  block_.clear();
  width_ = height_ = row_bytes_ = 0;
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
  const PikranBitmapHeader h = bitmap_header(width, height);
  block_.assign(sizeof(h) + h.biSizeImage, 0);
  std::memcpy(block_.data(), &h, sizeof(h));
  width_ = width;
  height_ = height;
  row_bytes_ = bitmap_row_bytes(width);
  return true;
}

void PictureBitmap::clear() {
  if (!block_.empty()) std::fill(block_.begin() + sizeof(PikranBitmapHeader), block_.end(), 0);
}

}  // namespace tools_common
