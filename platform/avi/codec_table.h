// Which libavcodec decoder serves a video FourCC.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform::avi {

/// The upper-cased FourCC (or biCompression value) -> the decoder's id, or
/// AV_CODEC_ID_NONE (MPEG-1/2 and anything unknown: no decompressor).
AVCodecID codec_for(uint32_t code);

}  // namespace platform::avi
