// Whole-process timing shared by the extraction and cut benchmarks: our
// command and the peer's command run alternately, each several times, and
// the medians are compared.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench_whole {

inline double seconds_of(const std::string &cmd, bool *ok) {
  const auto t0 = std::chrono::steady_clock::now();
  const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
  const auto t1 = std::chrono::steady_clock::now();
  if (rc != 0) *ok = false;
  return std::chrono::duration<double>(t1 - t0).count();
}

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline bool exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

inline long long size_of(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

/// Runs ours and theirs alternately (after one warm-up each), prints the
/// medians and ours / theirs. -> false when a command failed.
inline bool compare(const char *what, const std::string &ours, const std::string &theirs, double goal,
                    int runs = 5) {
  bool ok = true;
  seconds_of(ours, &ok);
  seconds_of(theirs, &ok);
  std::vector<double> a, b;
  for (int i = 0; i < runs && ok; ++i) {
    a.push_back(seconds_of(ours, &ok));
    b.push_back(seconds_of(theirs, &ok));
  }
  if (!ok) {
    std::fprintf(stderr, "%s: a command failed:\n  %s\n  %s\n", what, ours.c_str(), theirs.c_str());
    return false;
  }
  const double mo = median(a), mt = median(b);
  std::printf("%s: razavori %.3f s, ffmpeg %.3f s (medians of %d), ratio %.2f (goal <= %.2f)\n", what, mo, mt,
              runs, mo / mt, goal);
  return true;
}

}  // namespace bench_whole
