// Host code calling back into the library on its own thread: calls that
// change state answer their failure value and change nothing, plain
// queries still answer, and nothing deadlocks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

#include "media/media_api.h"
#include "tests/media/demux/reference_streams.h"
#include "tests/media/hooks/pull_run.h"
#include "tests/media/hooks/recording_plugin.h"
#include "tests/support/memory_files.h"

namespace hooks_test {
namespace {

using testing_support::MemoryFiles;

// Runs body on another thread and gives it a bounded time: a deadlock
// fails the test (and ends the binary, whose thread cannot be freed).
void bounded(void (*body)()) {
  auto done = std::async(std::launch::async, body);
  if (done.wait_for(std::chrono::minutes(3)) != std::future_status::ready) {
    ADD_FAILURE() << "a hook calling back deadlocked";
    std::_Exit(1);
  }
  done.get();
}

std::atomic<int32_t> g_inner{-2};
std::atomic<intptr_t> g_query{0};
FileIoTable g_forward;

int32_t read_then_seek(int32_t h, void *buf, int32_t len, int32_t *done, void *o) {
  g_inner = SysSeek(0, 0);
  g_query = SysControl(CTL_SOURCE_SIZE, 0);
  return g_forward.read(h, buf, len, done, o);
}

void close_in_notification(int32_t) { g_inner = SysControl(CTL_SET_FILE_IO_A, 0) + SysClose(); }

int32_t probe_in_hook(const char *path, int32_t *, int32_t *) {
  g_inner = SysProbe(path, nullptr);
  return -1;
}

void release_in_probe() { g_inner = static_cast<int32_t>(SysControl(CTL_RELEASE_PLUGINS, 0)); }

TEST(Reentry, TableReadCallingSeekGetsMinusOneAndTheStreamStaysWhole) {
  const std::string path = demux_test::reference("mpeg1_system.mpg");
  ASSERT_FALSE(path.empty()) << "ffmpeg is needed";
  const PullRun os = pull_run(path);
  static MemoryFiles mem;
  mem.add_from_disk("memory:a.mpg", path);
  g_forward = MemoryFiles::table();
  static FileIoTable table;
  table = g_forward;
  table.read = read_then_seek;
  static PullRun m;
  bounded([] {
    SysControl(CTL_SET_FILE_IO_A, reinterpret_cast<intptr_t>(&table));
    m = pull_run("memory:a.mpg");
    SysControl(CTL_SET_FILE_IO_A, 0);
  });
  EXPECT_EQ(g_inner.load(), -1);
  EXPECT_GT(g_query.load(), 0) << "a plain query is still answered";
  EXPECT_EQ(m.video, os.video);
  EXPECT_EQ(m.audio, os.audio);
  EXPECT_EQ(mem.open_now(), 0);
}

TEST(Reentry, NotificationCallingCloseLeavesTheSourceOpen) {
  const std::string path = demux_test::reference("mpeg1_system.mpg");
  ASSERT_FALSE(path.empty()) << "ffmpeg is needed";
  static FileIoTable b = {};
  b.notify11 = close_in_notification;
  static std::string p;
  p = path;
  g_inner = -2;
  bounded([] {
    SysControl(CTL_SET_FILE_IO_B, reinterpret_cast<intptr_t>(&b));
    SysProbe(p.c_str(), nullptr);
    const int32_t h = SysOpen(p.c_str(), 0);
    SysControl(CTL_FILE_IO_B_HOOK1, 0);
    EXPECT_EQ(SysControl(CTL_SOURCE_HANDLE, 0), h);
    SysClose();
    SysControl(CTL_SET_FILE_IO_B, 0);
  });
  EXPECT_EQ(g_inner.load(), 0);
}

TEST(Reentry, ProbeHookCallingProbeGetsMinusOne) {
  const std::string path = demux_test::reference("mpeg2_ps.mpg");
  ASSERT_FALSE(path.empty()) << "ffmpeg is needed";
  static std::string p;
  p = path;
  static int32_t kind;
  bounded([] {
    SysControl(CTL_SET_PROBE_HOOK, reinterpret_cast<intptr_t>(&probe_in_hook));
    kind = SysProbe(p.c_str(), nullptr);
    SysControl(CTL_SET_PROBE_HOOK, 0);
  });
  EXPECT_EQ(g_inner.load(), SOURCE_KIND_CANNOT_OPEN);
  EXPECT_EQ(kind, SOURCE_KIND_SYSTEM) << "the content probe still classifies";
}

TEST(Reentry, PluginProbeCallingReleaseChangesNothing) {
  static std::vector<std::string> log;
  static RecordingPlugin a("a", &log);
  a.extensions = "rec";
  a.inside_probe = release_in_probe;
  g_inner = -2;
  bounded([] {
    SysControl(CTL_ADD_PLUGIN, reinterpret_cast<intptr_t>(&a));
    EXPECT_EQ(SysProbe("/no/such/file.rec", nullptr), SOURCE_KIND_VIDEO);
    EXPECT_EQ(SysOpen("/no/such/file.rec", 0), DRAVIK_HANDLE_PLUGIN);
    SysClose();
    SysControl(CTL_RELEASE_PLUGINS, 0);
  });
  EXPECT_EQ(g_inner.load(), 0);
  EXPECT_EQ(a.count("release"), 1) << "released once, by the outer call";
  EXPECT_EQ(a.count("close"), 1);
}

}  // namespace
}  // namespace hooks_test
