// One whole run of a source through the read exports: probe, video alone,
// then the first MPEG audio stream alone, as the demux oracle tests pull
// them; the tests compare a run through a host table with the same run on
// the file itself and with ffmpeg's stream copies.
#pragma once

#include <cstdint>
#include <string>

#include "tests/media/demux/stream_builder.h"

namespace hooks_test {

using demux_test::Bytes;

struct PullRun {
  int32_t kind = -9;
  int32_t length = -9;
  bool opened = false;
  Bytes video;
  Bytes audio;  // the first MPEG audio stream seen
};

PullRun pull_run(const std::string &path);

/// got equals want apart from up to 3 zero bytes of rounding at its end.
bool same_stream(const Bytes &got, const Bytes &want);

}  // namespace hooks_test
