// demux_bench --table: the same pull through host file table A, once over
// the file held in memory and once over a table that forwards every call
// to read(2), beside the direct run; alternated, medians, ratios printed.
#pragma once

#include <string>

namespace demux_bench {

/// Pulls every video and audio byte of path (two threads); -> bytes.
long long pull_all_bytes(const std::string &path);

int run_table_bench(const std::string &path);

}  // namespace demux_bench
