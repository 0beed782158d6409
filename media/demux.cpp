// Until the pack parser lands, nothing is demultiplexed: a parse step makes
// no progress, so the ring reads deliver what the rings hold and then end.
#include "media/demux.h"

#include "media/state.h"

namespace dravik {

bool parse_step(State &, StepReader) { return false; }

void apply_audio_switch(State &) {}

void opening_analysis(State &) {}

void reset_parser(State &s) {
  s.parse.word_index = 0;
  s.parse.bit_offset = 0;
  for (auto &sink : s.sinks) sink->fill = 0;
}

}  // namespace dravik
