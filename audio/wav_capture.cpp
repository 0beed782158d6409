// WAV capture of the decoded PCM: a 44-byte header describing the blocks
// that follow (16-bit, their channels and rate), the samples appended after
// every block and both sizes brought up to date after each append, so that
// the file is a valid WAV of whole frames whenever the process stops.
#include <cstring>

#include "audio/engine.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace lunaret {

namespace {

constexpr int32_t kHeaderBytes = 44;
// The RIFF size field is 32 bits: a capture stops before it would overflow.
constexpr int64_t kMaxDataBytes = 0xFFFFFFFFll - kHeaderBytes;

void put16(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t *p, uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p + 2, v >> 16);
}

void wav_header(uint32_t channels, uint32_t rate, uint32_t data_bytes, uint8_t out[kHeaderBytes]) {
  uint32_t align = channels * 2;
  std::memcpy(out, "RIFF", 4);
  put32(out + 4, data_bytes + 36);
  std::memcpy(out + 8, "WAVEfmt ", 8);
  put32(out + 16, 16);
  put16(out + 20, 1);
  put16(out + 22, channels);
  put32(out + 24, rate);
  put32(out + 28, rate * align);
  put16(out + 32, align);
  put16(out + 34, 16);
  std::memcpy(out + 36, "data", 4);
  put32(out + 40, data_bytes);
}

// The channels and rate of the blocks DecodeBlock hands over now (a
// capture is taken before any 8-bit conversion; bursts count as PCM
// 2 ch 48 kHz).
void block_format(const Engine &e, uint32_t &channels, uint32_t &rate) {
  channels = e.out.valid ? static_cast<uint32_t>(block_out_channels(e)) : 2;
  rate = e.out.valid ? e.out.pcm.rate : 44100;
}

bool capture_write(Engine &e, int32_t fd, const void *data, int32_t len) {
  if (e.capture_writer && e.capture_writer->write)
    return e.capture_writer->write(e.capture_writer->context, data, len) == len;
  return fd >= 0 && platform::file_write(fd, data, len) == len;
}

bool capture_seek(Engine &e, int32_t fd, int64_t offset) {
  if (offset > INT32_MAX) return false;
  if (e.capture_writer && e.capture_writer->seek)
    return e.capture_writer->seek(e.capture_writer->context, static_cast<int32_t>(offset)) == offset;
  return fd >= 0 && platform::file_seek(fd, offset, 0) == offset;
}

// Writes both size fields of a header already written. A descriptor is
// written in place (the file position stays at the end); a writer is
// moved there and back.
bool patch_sizes(Engine &e, int32_t fd, uint32_t data_bytes, bool back_to_end) {
  uint8_t data_word[4], riff_word[4];
  put32(data_word, data_bytes);
  put32(riff_word, data_bytes + 36);
  if (!(e.capture_writer && e.capture_writer->write) && fd >= 0)
    return platform::file_write_at(fd, 40, data_word, 4) == 4 &&
           platform::file_write_at(fd, 4, riff_word, 4) == 4;
  bool ok = capture_seek(e, fd, 40) && capture_write(e, fd, data_word, 4) && capture_seek(e, fd, 4) &&
            capture_write(e, fd, riff_word, 4);
  if (back_to_end) ok = capture_seek(e, fd, kHeaderBytes + static_cast<int64_t>(data_bytes)) && ok;
  return ok;
}

bool begin(Engine &e) {
  uint32_t channels, rate;
  block_format(e, channels, rate);
  uint8_t h[kHeaderBytes];
  wav_header(channels, rate, 0, h);
  e.capture_channels = channels;
  e.capture_rate = rate;
  return capture_write(e, e.capture_fd, h, kHeaderBytes);
}

// Ends the capture after a failure: the sizes say what was written whole.
void fail(Engine &e) {
  if (!(e.capture_writer && e.capture_writer->write) && e.capture_fd >= 0)
    platform::file_truncate(e.capture_fd, kHeaderBytes + e.capture_bytes);
  patch_sizes(e, e.capture_fd, static_cast<uint32_t>(e.capture_bytes), false);
  e.capture_failed = true;
  e.capture_fd = -1;
}

// Writes the final sizes and ends the capture. -> 1, or 0 when a write of
// the capture failed.
int32_t finish(Engine &e) {
  bool ok = !e.capture_failed;
  if (e.capture_fd != -1)
    ok = finish_wav_header(e, e.capture_fd, static_cast<uint32_t>(e.capture_bytes)) && ok;
  e.capture_fd = -1;
  return ok ? 1 : 0;
}

}  // namespace

int32_t block_out_channels(const Engine &e) {
  if (e.out.spdif) return 2;
  // A synchronous pull of AC-3 decoded for a layout takes the stereo mix.
  if (e.force16 && e.out.placed && e.out.block_channels == kAc3PlacedChannels) return e.mono_out() ? 1 : 2;
  return e.out.placed && !e.force16 ? e.out.pcm.channels : e.out.block_channels;
}

bool write_wav_header(Engine &e, int32_t fd, uint32_t data_bytes) {
  uint32_t channels, rate;
  block_format(e, channels, rate);
  uint8_t h[kHeaderBytes];
  wav_header(channels, rate, data_bytes, h);
  return capture_write(e, fd, h, kHeaderBytes);
}

bool finish_wav_header(Engine &e, int32_t fd, uint32_t data_bytes) {
  bool ok = patch_sizes(e, fd, data_bytes, false);
  if (!e.capture_writer && fd >= 0) platform::file_seek(fd, 0, 2);
  return ok;
}

void capture_start(Engine &e, int32_t fd) {
  e.capture_bytes = 0;
  e.capture_failed = false;
  e.capture_fd = fd;
  if (fd != -1 && !begin(e)) fail(e);
}

void capture_append(Engine &e, const void *data, int32_t bytes) {
  if (e.capture_fd == -1 || bytes <= 0) return;
  e.capture_writing = true;
  uint32_t channels, rate;
  block_format(e, channels, rate);
  if (channels != e.capture_channels || rate != e.capture_rate) {
    if (e.capture_bytes == 0) {
      // Nothing captured yet: the header takes the blocks' format.
      if (!capture_seek(e, e.capture_fd, 0) || !begin(e)) fail(e);
    } else {
      // A format change ends the capture; the file keeps what it has.
      finish(e);
    }
  }
  const int64_t frame = static_cast<int64_t>(e.capture_channels) * 2;
  int64_t take = bytes - bytes % frame;
  if (e.capture_bytes + take > kMaxDataBytes) take = (kMaxDataBytes - e.capture_bytes) / frame * frame;
  if (e.capture_fd != -1 && take > 0) {
    if (capture_write(e, e.capture_fd, data, static_cast<int32_t>(take))) {
      e.capture_bytes += take;
      if (!patch_sizes(e, e.capture_fd, static_cast<uint32_t>(e.capture_bytes), true)) fail(e);
    } else {
      fail(e);
    }
  }
  if (e.capture_fd != -1 && take < bytes - bytes % frame) finish(e);  // full
  e.capture_writing = false;
}

int32_t capture_finish(Engine &e) {
  while (e.capture_writing) platform::sleep_ms(10);
  return finish(e);
}

}  // namespace lunaret
