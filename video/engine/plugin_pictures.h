// Pictures of a source served by a media-layer plug-in: the plug-in hands
// out finished planes (its slot 9), so while such a source is open the
// engine takes them through a decoder table of its own instead of the MPEG
// decoder.
#pragma once

#include "media/media_api.h"

namespace kestrum {

/// Makes plugin the source of pictures (null: back to the MPEG decoder).
void use_plugin_pictures(SourcePlugin *plugin);

}  // namespace kestrum
