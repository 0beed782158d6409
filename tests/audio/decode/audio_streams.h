// The test streams of the decoder tests and the ways to decode them: ours
// through the pull interface, ffmpeg's float decoders as the reference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/decode/mpeg_audio_decoder.h"

namespace audio_test {

struct Stream {
  std::string path;       ///< the elementary stream
  std::string reference;  ///< ffmpeg's decode, s16le interleaved
  int32_t channels = 0;
  int32_t rate = 0;
};

/// A stream of the generated test media by name (for example
/// "audio_l3_44k.mp3") with its reference. When the shared media folder
/// lacks it, an equivalent stream is made with ffmpeg in this binary's
/// scratch folder. Empty path when neither works.
Stream test_stream(const std::string &name);

/// Runs a shell command; true when it exits with 0.
bool run(const std::string &command);

/// ffmpeg's decode of `path` with the decoder named (mp1float, mp2float,
/// mp3float) to s16le; empty on failure.
std::vector<int16_t> ffmpeg_decode(const std::string &path, const std::string &decoder);

struct DecodeSettings {
  lunaret::SynthesisKind synthesis = lunaret::SynthesisKind::Float;
  lunaret::RateMode rate_mode = lunaret::RateMode::Full;
  lunaret::ChannelMode channel_mode = lunaret::ChannelMode::Stereo;
  int32_t file_mode = 1;
  int32_t frames_per_fill = 4;
  int32_t max_read = 2048;  ///< the source hands out at most this many bytes per read
};

struct Decoded {
  std::vector<int16_t> pcm;
  lunaret::StreamInfo info;
  int32_t channels = 0;  ///< output channels
  int32_t rate = 0;      ///< output rate
  bool probed = false;
};

/// Decodes bytes through the pull interface, probe first, then block fills
/// until the end, as the engine does.
Decoded decode_bytes(const std::vector<uint8_t> &bytes, const DecodeSettings &settings = {});
std::vector<uint8_t> read_file(const std::string &path);
bool write_file(const std::string &path, const std::vector<uint8_t> &bytes);
/// s16le samples of a file (empty when it cannot be read).
std::vector<int16_t> read_pcm(const std::string &path);

}  // namespace audio_test
