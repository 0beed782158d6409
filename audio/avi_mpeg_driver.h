// Installs the engine's MPEG audio decoder into the AVI audio converters.
#pragma once

namespace lunaret {

void install_avi_mpeg_driver();

}  // namespace lunaret
