// razavori extract FILE [--out DIR] [--force]: every elementary stream of a
// system stream into its own file in DIR (Video_00.VBS, Audio_0.AC3,
// SubPic00.SPU, ...). Files are written as NAME.part and take their names
// only when the whole extraction succeeded; a lost output or Ctrl-C leaves
// no file behind.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <regex>
#include <string>
#include <system_error>

#include "media/media_api.h"
#include "tools/razavori/command.h"
#include "tools/razavori/job_progress.h"
#include "tools/razavori/source_arg.h"

namespace razavori_cli {

namespace {

namespace fs = std::filesystem;

constexpr double kScrTicksPerSecond = 45000.0;
constexpr int kStepsPerProgress = 256;

struct Output {
  std::string final_path;
  std::string part_path;
};

// Filled by the name hook, which the library calls once per output.
std::deque<Output> g_outputs;
// The source as the file system knows it (a file of a mapped disc drive is
// read by the library through its sectors and may have no such entry).
struct stat g_source_stat;
bool g_source_known = false;

bool is_source(const std::string &path) {
  struct stat st;
  return g_source_known && ::stat(path.c_str(), &st) == 0 && st.st_dev == g_source_stat.st_dev &&
         st.st_ino == g_source_stat.st_ino;
}

// Each output goes to NAME.part. An output named like the source itself is
// handed over unchanged, so that the library refuses it (renaming over the
// source later would destroy it).
const char *part_hook(const char *path) {
  if (is_source(path)) return nullptr;
  g_outputs.push_back({path, part_name(path)});
  return g_outputs.back().part_path.c_str();
}

bool is_extraction_name(const std::string &name) {
  static const std::regex kNames(
      R"(Video_[0-9][0-9]\.VBS|SubPic[0-9][0-9]\.SPU|Audio_[0-9]\.(ABS|EXT|AC3|PCM|DTS|SDDS))");
  return std::regex_match(name, kNames);
}

// The first file in dir that an extraction could overwrite, or "".
std::string existing_output(const std::string &dir) {
  std::error_code ec;
  for (const auto &entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (is_extraction_name(name)) return name;
  }
  return "";
}

void remove_parts() {
  for (const Output &o : g_outputs) {
    std::error_code ec;
    if (fs::is_regular_file(o.part_path, ec)) fs::remove(o.part_path, ec);
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: razavori extract FILE [--out DIR] [--force] [--track N] [--entry E] [--angle N]\n");
  return 2;
}

}  // namespace

// Opens the source for extraction: a plain path through the extraction
// open; a CD track, a joined title set, an entry point or an angle through
// the ordinary open, with extraction then switched on. -> false when it is
// not a system stream or cannot be opened.
bool open_for_extraction(const SourceArg &arg) {
  const bool plain =
      static_cast<size_t>(arg.size()) == std::strlen(arg.name()) + 1 && arg.start == 0 && arg.angle < 0;
  if (plain)
    return SysControl(CTL_EXTRACT_OPEN, reinterpret_cast<intptr_t>(arg.name())) != DRAVIK_HANDLE_NONE;
  int32_t length = 0;
  if (SysProbeBuffer(arg.name(), arg.size(), &length) != SOURCE_KIND_SYSTEM) return false;
  if (open_source_arg(arg, &length) == DRAVIK_HANDLE_NONE) return false;
  SysControl(CTL_EXTRACT_ENABLE, 0);
  return true;
}

int run_extract(int argc, char **argv) {
  SourceArg arg;
  argc = strip_disc_options(argc, argv, &arg, "extract");
  if (argc < 0) return 2;
  const char *file = nullptr;
  std::string dir = ".";
  bool force = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--out") && i + 1 < argc) {
      dir = argv[++i];
    } else if (!std::strcmp(argv[i], "--force")) {
      force = true;
    } else if (argv[i][0] != '-' && !file) {
      file = argv[i];
    } else {
      return usage();
    }
  }
  if (!file) return usage();
  arg.file = file;
  if (!resolve_or_say(&arg, "extract")) return 2;
  g_source_known = ::stat(file, &g_source_stat) == 0;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    std::fprintf(stderr, "razavori extract: %s is not a folder\n", dir.c_str());
    return 2;
  }
  if (!force) {
    const std::string existing = existing_output(dir);
    if (!existing.empty()) {
      std::fprintf(stderr, "razavori extract: %s/%s exists (use --force to overwrite)\n", dir.c_str(),
                   existing.c_str());
      return 2;
    }
  }

  catch_interrupt();
  SysControl(CTL_SET_OUTPUT_DIR, reinterpret_cast<intptr_t>(dir.c_str()));
  SysControl(CTL_SET_NAME_HOOK, reinterpret_cast<intptr_t>(&part_hook));
  if (!open_for_extraction(arg)) {
    std::fprintf(stderr, "razavori extract: cannot open %s as a system stream\n", file);
    SysControl(CTL_SET_NAME_HOOK, 0);
    return 1;
  }
  const auto size = static_cast<double>(SysControl(CTL_SOURCE_SIZE, 0));
  ProgressLine progress;
  uint32_t scr = 0;
  for (int steps = 0; !SysControl(CTL_AT_END, 0) && !interrupted(); ++steps) {
    scr = static_cast<uint32_t>(SysControl(CTL_EXTRACT_STEP, 0));
    if (steps % kStepsPerProgress == 0) {
      const double pos = SysSeek(0, 1);
      progress.show(scr / kScrTicksPerSecond, size > 0 ? static_cast<int>(pos * 100 / size) : 0);
    }
  }
  if (!interrupted()) progress.show(scr / kScrTicksPerSecond, 100);
  progress.finish();
  const auto lost = static_cast<int>(SysControl(CTL_EXTRACT_FAILURES, 0));
  const bool closed_ok = SysControl(CTL_EXTRACT_CLOSE, 0) == 0;
  SysControl(CTL_SET_NAME_HOOK, 0);

  if (interrupted()) {
    remove_parts();
    std::fprintf(stderr, "razavori extract: stopped, nothing kept\n");
    return 1;
  }
  if (!closed_ok) {
    remove_parts();
    std::fprintf(stderr, "razavori extract: %d output(s) could not be written, nothing kept\n", lost);
    return 1;
  }
  if (g_outputs.empty()) {
    std::fprintf(stderr, "razavori extract: no elementary stream found in %s\n", file);
    return 1;
  }
  for (const Output &o : g_outputs) {
    fs::rename(o.part_path, o.final_path, ec);
    if (ec) {
      std::fprintf(stderr, "razavori extract: cannot rename %s: %s\n", o.part_path.c_str(),
                   ec.message().c_str());
      remove_parts();
      return 1;
    }
  }
  for (const Output &o : g_outputs) {
    std::printf("%s: %lld bytes\n", o.final_path.c_str(),
                static_cast<long long>(fs::file_size(o.final_path, ec)));
  }
  return 0;
}

}  // namespace razavori_cli
