// Binds the engine's audio port to the audio engine's exports.
#include "video/engine/ports.h"

namespace kestrum {

const AudioPort *production_audio_port() { return nullptr; }

}  // namespace kestrum
