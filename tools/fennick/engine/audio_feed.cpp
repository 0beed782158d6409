#include "tools/fennick/engine/audio_feed.h"

#include <algorithm>
#include <cstring>

#include "audio/audio_api.h"
#include "components/sondral/sondral.h"

namespace fennick {

void AudioFeed::start(bool silent) {
  held_ = cursor_ = 0;
  ended_ = silent;
}

bool AudioFeed::refill() {
  int32_t count = 0;
  const auto *pcm = reinterpret_cast<const uint8_t *>(
      AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&count)));
  // The count the engine reports is the block's length whatever the layer
  // and rate; nothing (or no address) means the sound has ended.
  if (!pcm || count <= 0) {
    ended_ = true;
    return false;
  }
  held_ = std::min(count, kStagingBytes);
  cursor_ = 0;
  std::memcpy(staging_.data(), pcm, static_cast<size_t>(held_));
  return true;
}

bool AudioFeed::send(int64_t bytes) {
  while (bytes > 0) {
    if (cursor_ == held_ && (ended_ || !refill())) break;
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(bytes, held_ - cursor_));
    if (!SondralWrite(staging_.data() + cursor_, n)) return false;
    cursor_ += n;
    bytes -= n;
  }
  while (bytes > 0) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(bytes, static_cast<int64_t>(silence_.size())));
    if (!SondralWrite(silence_.data(), n)) return false;
    bytes -= n;
  }
  return true;
}

}  // namespace fennick
