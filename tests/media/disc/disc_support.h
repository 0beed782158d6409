// Helpers of the disc tests: mapping drives, reading files whole, running
// the oracle tools and reading a source's whole video through the exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace disc_test {

using Bytes = std::vector<uint8_t>;

/// The generated disc image or stream of that name.
std::string disc_path(const std::string &name);
/// Maps (or with an empty path unmaps) a drive letter in RAZAVORI.INI.
void map_drive(char letter, const std::string &path);
void unmap_all();
Bytes file_bytes(const std::string &path);
/// Standard output of a shell command; empty when it cannot start.
std::string run(const std::string &command);
/// The video elementary stream of a stream file as ffmpeg copies it.
Bytes ffmpeg_video_copy(const std::string &path, const char *format);
/// Sectors of a file of a Video CD image as vcd-info -F lists them
/// ("(  1087488)" bytes of 2048), -1 when not listed.
int vcd_info_file_sectors(const std::string &cue, const std::string &name);

}  // namespace disc_test
