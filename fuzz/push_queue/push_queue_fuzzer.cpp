// Fuzzed bytes pushed into the queue of pushed PCM in pieces of a picked
// size (frames cut across pushes), in the format the first byte picks, and
// taken out in picked amounts: nothing is written past a take's room, and
// when nothing was dropped every whole frame comes out exactly once.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/push_queue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const uint8_t pace = data[1];
  lunaret::PushFormat f;
  f.channels = 1 + (mode & 7);
  f.bits = (mode & 8) ? 8 : 16;
  static lunaret::PushQueue queue;
  queue.configure(f);
  queue.set_accepting(true);
  const bool interleaved = mode & 0x10;
  const size_t piece = 1 + size_t(pace) * ((mode & 0x20) ? 37 : 1);
  const int32_t room = 2 + (mode >> 6) * 4099;
  std::vector<int16_t> out(size_t(room) + 1);

  const uint8_t *p = data + 2;
  size_t left = size - 2;
  int64_t taken = 0;
  int pushes = 0;
  auto take = [&] {
    out[size_t(room)] = 0x2BAD;
    const int32_t n = queue.take(out.data(), room);
    if (n < 0 || n > room || out[size_t(room)] != 0x2BAD) __builtin_trap();
    taken += n;
    return n;
  };
  while (left > 0) {
    // Each piece in its own allocation, so reads past it are caught.
    const size_t n = std::min(piece, left);
    const std::vector<uint8_t> chunk(p, p + n);
    queue.push(chunk.data(), int32_t(n));
    ++pushes;
    p += n;
    left -= n;
    if (interleaved) take();
  }
  while (take() > 0) {
  }
  const int64_t expected = int64_t((size - 2) / size_t(f.frame_bytes())) * f.out_channels();
  if ((interleaved || pushes <= lunaret::PushQueue::kMaxBlocks) && taken != expected) __builtin_trap();
  queue.set_accepting(false);
  return 0;
}
