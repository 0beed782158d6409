#include "bench/demux/table_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "media/media_api.h"
#include "tests/support/memory_files.h"

namespace demux_bench {

namespace {

constexpr int kRuns = 5;
constexpr char kMemoryName[] = "memory:bench.vob";

double now() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One timed pull through table (null: the operating system).
double timed(const std::string &name, const FileIoTable *table, long long *bytes) {
  SysControl(CTL_SET_FILE_IO_A, reinterpret_cast<intptr_t>(table));
  const double t0 = now();
  *bytes = pull_all_bytes(name);
  const double t = now() - t0;
  SysControl(CTL_SET_FILE_IO_A, 0);
  return t;
}

}  // namespace

int run_table_bench(const std::string &path) {
  static const FileIoTable table = testing_support::MemoryFiles::table();
  std::vector<double> direct, memory, forward;
  long long want = 0, got = 0;
  int reads = 0, positions = 0;
  bool same = true;
  for (int run = 0; run < kRuns; ++run) {
    direct.push_back(timed(path, nullptr, &want));
    {
      testing_support::MemoryFiles files;
      if (!files.add_from_disk(kMemoryName, path)) {
        std::fprintf(stderr, "demux_bench: cannot read %s\n", path.c_str());
        return 1;
      }
      memory.push_back(timed(kMemoryName, &table, &got));
      same = same && got == want;
      reads = files.counts.read.load();
      positions = files.counts.set_position.load();
    }
    {
      testing_support::MemoryFiles files(testing_support::MemoryFiles::Unknown::forward_to_os);
      forward.push_back(timed(path, &table, &got));
      same = same && got == want;
    }
  }
  if (!same || want == 0) {
    std::fprintf(stderr, "demux_bench: the table runs pulled other bytes than the direct run\n");
    return 1;
  }
  const double d = median(direct), m = median(memory), f = median(forward);
  std::printf("file: %s, %lld bytes pulled per run, medians of %d alternated runs\n", path.c_str(), want,
              kRuns);
  std::printf("direct:              %.3f s\n", d);
  std::printf("memory table:        %.3f s  ratio %.3f\n", m, m / d);
  std::printf("table over read(2):  %.3f s  ratio %.3f\n", f, f / d);
  std::printf("table calls per run: %d reads, %d position changes\n", reads, positions);
  std::printf("(ratio = table / direct; 1.05 or less: the layer adds no copy)\n");
  return 0;
}

}  // namespace demux_bench
