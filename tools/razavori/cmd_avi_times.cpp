// razavori frame FILE.avi --at MS[,MS...]|@LIST: seeks the AVI source to
// each time through the media library, as a player's seek does, and decodes
// the picture it lands on (the key frame at or before the time) into the
// engine's planes. One line per time: the time asked, the frame and its
// time. LIST is a file of times separated by commas or white space.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "platform/avi/avi_reader.h"
#include "platform/avi/decompressor.h"
#include "tools/razavori/avi_info.h"

namespace razavori_cli {

namespace {

namespace avi = platform::avi;

// Times in milliseconds from "1,2,3" or from the file after '@'. -> false
// with *why set on anything that is not a list of such times.
bool parse_times(const std::string &arg, std::vector<int32_t> *times, std::string *why) {
  std::string text = arg;
  if (!arg.empty() && arg[0] == '@') {
    std::ifstream in(arg.substr(1), std::ios::binary);
    if (!in) {
      *why = "cannot read " + arg.substr(1);
      return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ',' || std::isspace(c)) {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    const std::string word = text.substr(start, i - start);
    const bool ends = i == text.size() || text[i] == ',' || std::isspace(static_cast<unsigned char>(text[i]));
    const long long ms = word.size() <= 10 ? std::atoll(word.c_str()) : -1;
    if (word.empty() || !ends || ms < 0 || ms > INT32_MAX) {
      size_t stop = i;
      while (stop < text.size() && text[stop] != ',' && !std::isspace(static_cast<unsigned char>(text[stop])))
        ++stop;
      *why = "\"" + text.substr(start, stop - start) + "\" is not a time in milliseconds";
      return false;
    }
    times->push_back(int32_t(ms));
  }
  if (times->empty()) *why = "no times given";
  return !times->empty();
}

struct SourceCloser {
  bool open = false;
  ~SourceCloser() {
    if (open) SysClose();
  }
};

}  // namespace

int run_frame_times(const char *path, const char *list) {
  std::vector<int32_t> times;
  std::string why;
  if (!parse_times(list, &times, &why)) {
    std::fprintf(stderr, "razavori frame: %s\n", why.c_str());
    return 2;
  }
  const SourceKind kind = SysAviProbe(path, nullptr);
  SourceCloser source;
  source.open = (kind == SOURCE_KIND_SYSTEM || kind == SOURCE_KIND_VIDEO) &&
                SysOpen(path, DRAVIK_START_BEGIN) != DRAVIK_HANDLE_NONE;
  const auto *video = source.open ? reinterpret_cast<const avi::Stream *>(SysAviSelectVideo(0)) : nullptr;
  if (!video) {
    std::fprintf(stderr, "razavori frame: %s is not an AVI file with video\n", path);
    return 1;
  }
  avi::FrameReader *r = avi::frame_reader_open(video, &why);
  if (!r) {
    std::fprintf(stderr, "razavori frame: %s: %s\n", path, why.c_str());
    return 1;
  }
  int status = 0;
  for (int32_t ms : times) {
    const int32_t landed = SysAviSeek(ms, 0);
    const int64_t n = avi::time_to_sample(video, landed);
    if (!avi::frame_planes(r, n)) {
      std::fprintf(stderr, "razavori frame: frame %lld could not be decoded\n", static_cast<long long>(n));
      status = 1;
      break;
    }
    std::printf("%d ms -> frame %lld at %d ms\n", ms, static_cast<long long>(n), landed);
  }
  avi::frame_reader_close(r);
  return status;
}

}  // namespace razavori_cli
