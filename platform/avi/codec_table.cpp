// FourCC -> libavcodec decoder. MPEG-1/2 FourCCs are left out on purpose:
// MPEG video is the engine's own.
#include "platform/avi/codec_table.h"

#include "platform/avi/avi_internal.h"

namespace platform::avi {

namespace {

struct Entry {
  const char *code;
  AVCodecID id;
};

constexpr Entry kTable[] = {
    {"DIVX", AV_CODEC_ID_MPEG4},     {"DX50", AV_CODEC_ID_MPEG4},     {"XVID", AV_CODEC_ID_MPEG4},
    {"FMP4", AV_CODEC_ID_MPEG4},     {"MP4V", AV_CODEC_ID_MPEG4},     {"M4S2", AV_CODEC_ID_MPEG4},
    {"3IV2", AV_CODEC_ID_MPEG4},     {"DIV3", AV_CODEC_ID_MSMPEG4V3}, {"MP43", AV_CODEC_ID_MSMPEG4V3},
    {"DIV4", AV_CODEC_ID_MSMPEG4V3}, {"MP42", AV_CODEC_ID_MSMPEG4V2}, {"MPG4", AV_CODEC_ID_MSMPEG4V1},
    {"MJPG", AV_CODEC_ID_MJPEG},     {"AVRN", AV_CODEC_ID_MJPEG},     {"H264", AV_CODEC_ID_H264},
    {"AVC1", AV_CODEC_ID_H264},      {"X264", AV_CODEC_ID_H264},      {"DAVC", AV_CODEC_ID_H264},
    {"DVSD", AV_CODEC_ID_DVVIDEO},   {"DV25", AV_CODEC_ID_DVVIDEO},   {"DV50", AV_CODEC_ID_DVVIDEO},
    {"CVID", AV_CODEC_ID_CINEPAK},   {"MSVC", AV_CODEC_ID_MSVIDEO1},  {"CRAM", AV_CODEC_ID_MSVIDEO1},
    {"WHAM", AV_CODEC_ID_MSVIDEO1},  {"HFYU", AV_CODEC_ID_HUFFYUV},   {"FFVH", AV_CODEC_ID_FFVHUFF},
    {"FFV1", AV_CODEC_ID_FFV1},      {"WMV1", AV_CODEC_ID_WMV1},      {"WMV2", AV_CODEC_ID_WMV2},
    {"H263", AV_CODEC_ID_H263},      {"MSRL", AV_CODEC_ID_MSRLE},     {"IV50", AV_CODEC_ID_INDEO5},
    {"IV41", AV_CODEC_ID_INDEO4},    {"IV32", AV_CODEC_ID_INDEO3},    {"VP60", AV_CODEC_ID_VP6},
};

// Compression values 1 and 2 are RLE8 and RLE4 bitmaps.
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;

}  // namespace

AVCodecID codec_for(uint32_t code) {
  if (code == kBiRle8 || code == kBiRle4) return AV_CODEC_ID_MSRLE;
  // Every DivX 5 variant ("DX5" and any fourth letter) is DivX.
  if ((code & 0xFFFFFFu) == (fourcc('D', 'X', '5', ' ') & 0xFFFFFFu)) return AV_CODEC_ID_MPEG4;
  for (const Entry &e : kTable)
    if (code == fourcc(e.code[0], e.code[1], e.code[2], e.code[3])) return e.id;
  return AV_CODEC_ID_NONE;
}

}  // namespace platform::avi
