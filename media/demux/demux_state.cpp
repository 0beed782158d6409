#include "media/demux/demux_state.h"

#include "media/demux/transport_stream.h"

namespace dravik {

DemuxState::DemuxState() : spu_assembly(new uint8_t[kSpuAssemblyBytes]()) {}

DemuxState::~DemuxState() = default;

}  // namespace dravik
