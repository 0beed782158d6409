// The sound side of a row: pulls decoded PCM from the audio engine block by
// block and hands the encoder exactly the bytes each picture is due. After
// the sound ends (or for a silent track) it hands silence.
#pragma once

#include <array>
#include <cstdint>

namespace fennick {

class AudioFeed {
 public:
  /// The largest block the audio engine decodes at once (bytes).
  static constexpr int32_t kStagingBytes = 49152;

  /// silent: the source has no sound we can decode; only zeros are sent.
  void start(bool silent);
  /// Sends `bytes` bytes of PCM to the audio encoder. False when the encoder
  /// refused them (its write failed).
  bool send(int64_t bytes);
  /// True once the source's sound has ended (or for a silent track).
  bool ended() const { return ended_; }

 private:
  bool refill();

  std::array<uint8_t, kStagingBytes> staging_{};
  std::array<uint8_t, 8192> silence_{};
  int32_t held_ = 0;
  int32_t cursor_ = 0;
  bool ended_ = false;
};

}  // namespace fennick
