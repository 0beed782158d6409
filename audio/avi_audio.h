// The operations of the AviAudio source kind.
#pragma once

#include "audio/engine.h"

namespace lunaret {

const SourceOps &avi_audio_ops();

}  // namespace lunaret
