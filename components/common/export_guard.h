// The shell around every export of the components: no exception crosses
// the C boundary; a failure inside returns the documented failure value.
// Also the two shapes every component's exports share: one job at a time
// behind a lock, and the table its ordinal entry point hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace component_io {

template <typename R, typename F>
R guard_export(R fail, F &&body) {
  try {
    return body();
  } catch (...) {
    return fail;
  }
}

/// The library's one Job: one per type, whichever export asks.
template <typename Job>
Job &the_job() {
  static Job job;
  return job;
}

/// Runs body on the library's one Job (a type with a `std::mutex lock`)
/// under its lock, inside the export shell.
template <typename Job, typename R, typename F>
R with_job(R fail, F &&body) {
  return guard_export(fail, [&] {
    Job &job = the_job<Job>();
    std::lock_guard<std::mutex> hold(job.lock);
    return R(body(job));
  });
}

/// The entry point at a 1-based ordinal of an export table; nullptr for
/// an ordinal outside it.
template <size_t N>
void *export_at(int32_t ordinal, void *const (&table)[N]) {
  return ordinal >= 1 && static_cast<size_t>(ordinal) <= N ? table[ordinal - 1] : nullptr;
}

}  // namespace component_io
