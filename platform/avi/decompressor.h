// Video decompressors for AVI streams: libavcodec for the compressed
// FourCCs, our own converters for RGB DIBs (8-bit palette, 16, 24, 32 bits,
// either row order) and I420/YV12/YUY2. A frame reader hides the codec's
// delay (frame n is the n-th picture, the tail is drained) and decodes a
// seek from the previous key frame. Pictures come out as the engine's 4:2:0
// planes (sizes rounded up to 16) or as a 24-bit bottom-up DIB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/avi/avi_reader.h"

namespace platform::avi {

/// 4:2:0 planes of the current picture; width and height are the coded
/// sizes (multiples of 16), display_* the stream's.
struct Planes {
  const uint8_t *y = nullptr, *cb = nullptr, *cr = nullptr;
  int32_t y_stride = 0, c_stride = 0;
  int32_t width = 0, height = 0;
  int32_t display_width = 0, display_height = 0;
};

struct FrameReader;

/// -> a reader of the video stream's pictures, or nullptr with *why set
/// ("no decompressor" for MPEG-1/2 FourCCs and unknown codecs).
FrameReader *frame_reader_open(const Stream *s, std::string *why);
void frame_reader_close(FrameReader *r);
/// The codec's name ("raw BGR24", libavcodec's name...).
const char *frame_reader_codec(const FrameReader *r);

/// Decodes frame n (a sample number of the stream). -> the planes, valid
/// until the next call, or nullptr when n is outside the stream or nothing
/// could be decoded.
const Planes *frame_planes(FrameReader *r, int64_t n);
/// Frame n as a 40-byte BITMAPINFOHEADER and bottom-up 24-bit rows padded
/// to 4 bytes, into out. -> false as frame_planes.
bool frame_dib(FrameReader *r, int64_t n, std::vector<uint8_t> &out);

}  // namespace platform::avi
