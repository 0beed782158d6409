// What ffprobe and ffmpeg say of an AVI file's chunks, for comparing the
// reader's index and reads with them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace avi_test {

struct Packet {
  int64_t size = 0;
  int64_t pos = -1;  // of the chunk data
  bool key = false;
};

/// Per stream, the packets ffprobe -show_packets lists (empty chunks are
/// not among them). Empty result when ffprobe fails.
std::vector<std::vector<Packet>> probe_packets(const std::string &path);
/// Per stream, the adler32 of each packet of `ffmpeg -c copy -f framecrc`.
std::vector<std::vector<uint32_t>> frame_crcs(const std::string &path);
/// stdout of a shell command; ok false when it did not exit with 0.
std::string run(const std::string &command, bool *ok = nullptr);
/// The first video stream's pictures as ffmpeg decodes them, raw in
/// `pix_fmt`, one thread, every frame; empty when ffmpeg fails.
std::string ffmpeg_raw(const std::string &path, const char *pix_fmt);
/// adler32 with seed 0, as framecrc computes it.
uint32_t adler32(const uint8_t *p, size_t n);

}  // namespace avi_test
