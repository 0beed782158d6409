#include "tests/media/hooks/plugin_clip.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "tests/support/test_media.h"

namespace hooks_test {

namespace {

namespace fs = std::filesystem;

constexpr char kClip[] = "hooks_clip.y4m";
constexpr char kReference[] = "hooks_clip.y4m.yuv";

bool run(const std::string &cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

// The folder holding both files.
std::string folder() {
  static std::once_flag once;
  static std::string dir;
  std::call_once(once, [] {
    const std::string shared = testing_support::media_dir();
    if (fs::exists(shared + "/" + kReference)) {
      dir = shared;
      return;
    }
    const std::string d = testing_support::scratch_dir();
    const std::string ff = "ffmpeg -nostdin -v error -y -threads 1 ";
    if (run(ff + "-f lavfi -i testsrc2=size=352x288:rate=25:duration=4 -pix_fmt yuv420p -f yuv4mpegpipe " +
            d + "/" + kClip) &&
        run(ff + "-i " + d + "/" + kClip + " -f rawvideo -pix_fmt yuv420p " + d + "/" + kReference))
      dir = d;
  });
  return dir;
}

}  // namespace

std::string y4m_clip() {
  const std::string d = folder();
  return d.empty() ? "" : d + "/" + kClip;
}

std::string y4m_clip_reference() {
  const std::string d = folder();
  return d.empty() ? "" : d + "/" + kReference;
}

}  // namespace hooks_test
