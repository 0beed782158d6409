// Replays saved fuzz inputs through a harness without libFuzzer: every file
// named on the command line, or found in a folder named there, is fed once.
// Missing folders are fine (a harness may have no crash files yet).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static bool replay(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    std::fprintf(stderr, "replay: read error on %s\n", file.c_str());
    return false;
  }
  // Its own allocation of exactly the input's size, so over-reads are caught.
  std::vector<uint8_t> copy(bytes);
  LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
  return true;
}

int main(int argc, char **argv) {
  int files = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
      std::vector<std::filesystem::path> entries;
      for (auto &e : std::filesystem::directory_iterator(p))
        if (e.is_regular_file()) entries.push_back(e.path());
      std::sort(entries.begin(), entries.end());
      for (auto &e : entries) {
        ok &= replay(e);
        ++files;
      }
    } else if (std::filesystem::exists(p, ec)) {
      ok &= replay(p);
      ++files;
    }
  }
  std::printf("replayed %d inputs\n", files);
  return ok ? 0 : 1;
}
