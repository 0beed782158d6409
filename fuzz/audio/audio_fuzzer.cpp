// Fuzz harness: an elementary audio file opened with AudioOpenFile and
// decoded with AudioCommand 4 to its end, as the converters pull audio.
// The first byte picks the rate mode, channel mode and frames per block so
// that every decoding shape is reached; the rest is the file.
//
// With the media layer built, the bytes go through a real file and the
// media layer's probe and reader. Without it, the stand-in media layer of
// the engine tests serves them from memory.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/audio_api.h"

#if !FUZZ_REAL_MEDIA
#include "tests/audio/engine/fake_media.h"
#endif

namespace {

// Upper bound on blocks per input: a stream that keeps producing (it
// cannot, with finite input, but a fault could loop) ends the run.
constexpr int kMaxBlocks = 20000;

#if FUZZ_REAL_MEDIA
// One in-memory file reused for every input; the media layer opens it by
// its /proc path.
const std::string &memory_file_path(int *fd_out) {
  static int fd = memfd_create("audio_fuzz.mp2", 0);
  static std::string path = "/proc/self/fd/" + std::to_string(fd);
  *fd_out = fd;
  return path;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t knobs = data[0];
  ++data;
  --size;

#if FUZZ_REAL_MEDIA
  int fd = -1;
  const std::string &path = memory_file_path(&fd);
  if (fd < 0 || ftruncate(fd, 0) != 0) return 0;
  if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
#else
  lunaret_test::fake_media().install();
  lunaret_test::fake_media().bytes.assign(data, data + size);
  const std::string path = "/memory/audio_fuzz.mp2";
#endif

  AudioSetRateMode(static_cast<int32_t>(knobs % 3) - 1);
  AudioSetChannelMode((knobs >> 2) & 3);
  AudioCommand(AUDIO_CMD_SET_FRAMES_PER_FILL, ((knobs >> 4) & 7) + 1);
  AudioCommand(AUDIO_CMD_SET_ECHO, (knobs & 0x80) ? 3 : 0);

  int32_t opened = AudioOpenFile(path.c_str());
  if (opened != 0 && opened != -1 && AudioOpenOutput(nullptr)) {
    volatile int32_t sink = 0;
    for (int i = 0; i < kMaxBlocks; ++i) {
      int32_t bytes = 0;
      const auto *pcm = reinterpret_cast<const int16_t *>(
          AudioCommand(AUDIO_CMD_DECODE_BLOCK, reinterpret_cast<intptr_t>(&bytes)));
      // Touch every byte reported, so that a count beyond the block shows.
      if (pcm && bytes > 0) {
        for (int32_t k = 0; k < bytes / 2; ++k) sink = sink + pcm[k];
      }
      if (AudioCommand(AUDIO_CMD_END_OF_STREAM, 0)) break;
    }
    AudioCommand(AUDIO_CMD_LAYER, 0);
    AudioGetBitRate();
  }
  AudioClose();
#if !FUZZ_REAL_MEDIA
  lunaret_test::FakeMedia::uninstall();
#endif
  return 0;
}
