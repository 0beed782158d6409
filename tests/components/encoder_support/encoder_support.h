// What the encoder and multiplexer tests share: running the oracle tools
// (ffmpeg, ffprobe, vcdimager) and reading their answers, test pictures as
// packed DIBs, and a child process that runs under a file-size limit.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace encoder_test {

struct ToolRun {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string out;  // stdout (and stderr when asked for)
};

/// Runs a shell command line; with_stderr folds stderr into out.
ToolRun run_tool(const std::string &command, bool with_stderr = false);
/// True when the named program is on PATH. Tests FAIL when an oracle is
/// missing, never skip.
bool have_tool(const char *name);
/// Single-quoted for the shell.
std::string shell_quoted(const std::string &s);

/// One stream of ffprobe's view, its fields by name.
using Fields = std::map<std::string, std::string>;
/// ffprobe's streams of a file (frames counted), in order; empty when it
/// cannot read the file.
std::vector<Fields> probe_streams(const std::string &path);
/// Presentation time of the first packet of each stream, in seconds.
std::vector<double> first_packet_times(const std::string &path);

/// The 352x288 test pictures as packed B,G,R rows, top row first, made once
/// per test binary from the generated stream's reference pictures.
struct Pictures {
  int width = 0;
  int height = 0;
  int count = 0;
  std::vector<uint8_t> bgr;  // count pictures of width * height * 3 bytes
  std::string bgr_path;      // the same bytes in a file, for ffmpeg
  const uint8_t *picture(int i) const { return bgr.data() + size_t(i) * size_t(width) * size_t(height) * 3; }
};
const Pictures &test_pictures();

/// DIB forms the callers send.
enum class DibForm { bgr24, bgr32, palette8, rgb555, bgr24_top_down };
/// A packed DIB (40-byte header, palette for 8 bits, rows padded to 4) of
/// one top-first B,G,R picture. The 8-bit form uses a 3-3-2 palette.
std::vector<uint8_t> make_dib(const uint8_t *bgr, int width, int height, DibForm form);

/// Runs body in a child process whose files may not grow past limit bytes
/// (SIGXFSZ ignored, so writes fail with EFBIG as on a full disk). Returns
/// the child's exit status (body's result), or -1 when it crashed.
int run_with_file_limit(uint64_t limit, const std::function<int()> &body);

/// Reads a whole file (empty when missing).
std::vector<uint8_t> file_bytes(const std::string &path);
void write_bytes(const std::string &path, const std::vector<uint8_t> &bytes);
bool file_exists(const std::string &path);

}  // namespace encoder_test
