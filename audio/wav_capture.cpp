// WAV capture of the decoded PCM: a 44-byte header with the plain output
// format, the samples appended after every block, and the sizes filled in
// at the end.
#include <cstring>

#include "audio/engine.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace lunaret {

namespace {

void put16(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t *p, uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p + 2, v >> 16);
}

// The format the PCM leaves DecodeBlock in: 16-bit, with the output's
// channels and rate (a capture is taken before any 8-bit conversion).
void wav_header(const Engine &e, uint32_t data_bytes, uint8_t out[44]) {
  uint32_t channels = e.out.valid ? e.out.block_channels : 2;
  uint32_t rate = e.out.valid ? e.out.pcm.rate : 44100;
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

bool capture_write(Engine &e, int32_t fd, const void *data, int32_t len) {
  if (e.capture_writer && e.capture_writer->write)
    return e.capture_writer->write(e.capture_writer->context, data, len) == len;
  return fd >= 0 && platform::file_write(fd, data, len) == len;
}

bool capture_seek(Engine &e, int32_t fd, int32_t offset) {
  if (e.capture_writer && e.capture_writer->seek)
    return e.capture_writer->seek(e.capture_writer->context, offset) == offset;
  return fd >= 0 && platform::file_seek(fd, offset, 0) == offset;
}

// Completes the two size fields of a header already written.
bool patch_sizes(Engine &e, int32_t fd, uint32_t data_bytes) {
  uint8_t word[4];
  put32(word, data_bytes);
  if (!capture_seek(e, fd, 40) || !capture_write(e, fd, word, 4)) return false;
  put32(word, data_bytes + 36);
  return capture_seek(e, fd, 4) && capture_write(e, fd, word, 4);
}

}  // namespace

bool write_wav_header(Engine &e, int32_t fd, uint32_t data_bytes) {
  uint8_t h[44];
  wav_header(e, data_bytes, h);
  return capture_write(e, fd, h, 44);
}

bool finish_wav_header(Engine &e, int32_t fd, uint32_t data_bytes) {
  bool ok = patch_sizes(e, fd, data_bytes);
  if (!e.capture_writer && fd >= 0) platform::file_seek(fd, 0, 2);
  return ok;
}

void capture_start(Engine &e, int32_t fd) {
  e.capture_bytes = 0;
  e.capture_fd = fd;
  if (fd != -1) write_wav_header(e, fd, 0);
}

void capture_append(Engine &e, const void *data, int32_t bytes) {
  e.capture_writing = true;
  if (capture_write(e, e.capture_fd, data, bytes)) e.capture_bytes += bytes;
  e.capture_writing = false;
}

void capture_finish(Engine &e) {
  while (e.capture_writing) platform::sleep_ms(10);
  if (e.capture_fd != -1) finish_wav_header(e, e.capture_fd, static_cast<uint32_t>(e.capture_bytes));
  e.capture_fd = -1;
}

}  // namespace lunaret
