// Slices and macroblocks of one picture.
#include "video/decode/decoder_state.h"

namespace kestrum {

void decode_slices(DecoderState &s) { (void)s; }

}  // namespace kestrum
