// razavori cut FILE OUT (--bytes A-B | --time S-E) [--force]: a piece of an
// MPEG source as a file of its own that starts at a sequence header and
// ends with the end codes (raw-sector Video CD tracks give the payloads of
// a Video CD track). Written as OUT.part and renamed when complete.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "media/media_api.h"
#include "tools/razavori/command.h"
#include "tools/razavori/job_progress.h"
#include "tools/razavori/source_arg.h"

namespace razavori_cli {

namespace {

namespace fs = std::filesystem;

struct Range {
  double from = 0;
  double to = -1;  // -1: to the end of the source
  bool time = false;
};

// "A-B" or "A-" (to the end). -> false when malformed.
bool parse_range(const char *text, bool time, Range &r) {
  char *end = nullptr;
  r.time = time;
  r.from = std::strtod(text, &end);
  if (end == text || *end != '-' || r.from < 0) return false;
  const char *second = end + 1;
  if (!*second) return true;
  r.to = std::strtod(second, &end);
  return end != second && !*end && r.to >= 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: razavori cut FILE OUT (--bytes A-B | --time S-E) [--force] [--track N] [--entry E] "
               "[--angle N]\n");
  return 2;
}

int fail(const std::string &part, const char *why) {
  std::error_code ec;
  fs::remove(part, ec);
  std::fprintf(stderr, "razavori cut: %s, nothing written\n", why);
  return 1;
}

}  // namespace

int run_cut(int argc, char **argv) {
  SourceArg arg;
  argc = strip_disc_options(argc, argv, &arg, "cut");
  if (argc < 0) return 2;
  const char *file = nullptr, *out = nullptr;
  Range range;
  bool have_range = false, force = false;
  for (int i = 1; i < argc; ++i) {
    const bool bytes = !std::strcmp(argv[i], "--bytes"), time = !std::strcmp(argv[i], "--time");
    if ((bytes || time) && i + 1 < argc) {
      if (have_range || !parse_range(argv[++i], time, range)) return usage();
      have_range = true;
    } else if (!std::strcmp(argv[i], "--force")) {
      force = true;
    } else if (argv[i][0] != '-' && !file) {
      file = argv[i];
    } else if (argv[i][0] != '-' && !out) {
      out = argv[i];
    } else {
      return usage();
    }
  }
  if (!file || !out || !have_range) return usage();
  arg.file = file;
  if (!resolve_or_say(&arg, "cut")) return 2;
  std::error_code ec;
  if (fs::exists(out, ec) && !force) {
    std::fprintf(stderr, "razavori cut: %s exists (use --force to overwrite)\n", out);
    return 2;
  }
  int32_t length = 0;
  if (SysProbeBuffer(arg.name(), arg.size(), &length) != SOURCE_KIND_SYSTEM ||
      open_source_arg(arg, &length) == DRAVIK_HANDLE_NONE) {
    std::fprintf(stderr, "razavori cut: %s is not a system stream\n", file);
    return 1;
  }
  const double rate = static_cast<double>(SysControl(CTL_BYTE_RATE, 0));
  const double size = static_cast<double>(SysControl(CTL_SOURCE_SIZE, 0));
  const double scale = range.time ? rate : 1.0;
  const double from = range.from * scale;
  const double to = range.to < 0 || range.to * scale > size ? size : range.to * scale;
  const auto start = static_cast<int32_t>(from), end = static_cast<int32_t>(to);
  std::fprintf(stderr, "range used: bytes %d-%d (%.2f-%.2f s at %.0f bytes/s)\n", start, end, start / rate,
               end / rate, rate);
  SysControl(CTL_SET_SEGMENT_START, start);
  SysControl(CTL_SET_SEGMENT_END, end);
  if (!SysControl(CTL_SEGMENT_BEGIN, 0)) {
    SysClose();
    std::fprintf(stderr, "razavori cut: the range is empty, nothing written\n");
    return 1;
  }
  const std::string part = part_name(out);
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    SysClose();
    std::fprintf(stderr, "razavori cut: cannot write %s\n", part.c_str());
    return 1;
  }
  catch_interrupt();
  ProgressLine progress;
  bool ok = SysControl(CTL_SEGMENT_HEAD, fd) > 0;
  const int64_t span = static_cast<int64_t>(end) - start;
  while (ok && !interrupted()) {
    const auto done = static_cast<int64_t>(SysControl(CTL_SEGMENT_COPY, fd));
    if (done < 0) break;
    progress.show((start + done) / rate, static_cast<int>(done * 100 / span));
    if (done >= span) break;
  }
  progress.finish();
  // The tail is written even after a failure, so the reading state is put
  // back; its result only counts for a job still going well.
  const bool finished = SysControl(CTL_SEGMENT_FINISH, fd) == 1;
  ok = ok && finished && !interrupted();
  const bool closed = ::close(fd) == 0;
  SysClose();
  if (interrupted()) return fail(part, "stopped");
  if (!ok || !closed) return fail(part, "the piece could not be written whole");
  fs::rename(part, out, ec);
  if (ec) return fail(part, "cannot rename the finished piece");
  std::printf("%s: %lld bytes\n", out, static_cast<long long>(fs::file_size(out, ec)));
  return 0;
}

}  // namespace razavori_cli
