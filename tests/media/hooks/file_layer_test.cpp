// The host file tables: every file access of a source and of its probe goes
// to the first table whose family is whole (A, B, then C or the operating
// system), a file stays with the layer that opened it, and table C serves
// SysFileSize and the extraction outputs.
#include <dirent.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/media/demux/reference_streams.h"
#include "tests/media/hooks/pull_run.h"
#include "tests/support/memory_files.h"
#include "tests/support/test_media.h"

namespace hooks_test {
namespace {

using testing_support::MemoryFiles;

std::string stream_path(const std::string &name) {
  const std::string path = demux_test::reference(name);
  if (path.empty()) ADD_FAILURE() << "no ffmpeg to make " << name;
  return path;
}

// Takes the tables down again whatever the test did.
class Tables : public ::testing::Test {
 protected:
  void TearDown() override {
    SysClose();
    SysControl(CTL_SET_FILE_IO_A, 0);
    SysControl(CTL_SET_FILE_IO_B, 0);
    SysControl(CTL_SET_FILE_IO_C, 0);
  }
};

class StreamsFromMemory : public ::testing::WithParamInterface<const char *>, public Tables {};

TEST_P(StreamsFromMemory, TableAServesWhatTheFileGives) {
  const std::string stream = GetParam();
  const std::string path = stream_path(stream);
  ASSERT_FALSE(path.empty());
  const PullRun os = pull_run(path);
  ASSERT_TRUE(os.opened);

  MemoryFiles mem;
  const std::string name = "memory:" + stream;  // no such file
  ASSERT_TRUE(mem.add_from_disk(name, path));
  FileIoTable a = MemoryFiles::table();
  SysControl(CTL_SET_FILE_IO_A, reinterpret_cast<intptr_t>(&a));
  const PullRun m = pull_run(name);
  SysControl(CTL_SET_FILE_IO_A, 0);

  ASSERT_TRUE(m.opened);
  EXPECT_EQ(m.kind, os.kind);
  EXPECT_EQ(m.length, os.length);
  EXPECT_EQ(m.video, os.video);
  EXPECT_EQ(m.audio, os.audio);
  EXPECT_TRUE(same_stream(m.video, demux_test::read_file(stream_path(stream + ".video.es"))));
  const std::string audio_ref = demux_test::reference(stream + ".audio.es");
  if (!audio_ref.empty()) {
    EXPECT_TRUE(same_stream(m.audio, demux_test::read_file(audio_ref)));
  }
  EXPECT_GT(mem.counts.open16.load(), 0) << "the probe went past the table";
  EXPECT_GT(mem.counts.open.load(), 0);
  EXPECT_GT(mem.counts.read.load(), 0);
  EXPECT_EQ(mem.counts.open.load() + mem.counts.open16.load(),
            mem.counts.close.load() + mem.counts.close16.load());
  EXPECT_EQ(mem.open_now(), 0) << "a handle was left open";
  EXPECT_EQ(mem.counts.bad_handle.load(), 0) << "a handle was used after its close, or closed twice";
}

INSTANTIATE_TEST_SUITE_P(Generated, StreamsFromMemory,
                         ::testing::Values("mpeg1_system.mpg", "mpeg2_ps.mpg", "vob_ac3_lpcm.vob",
                                           "ts_mpeg2.ts"),
                         [](const auto &info) {
                           std::string n = info.param;
                           for (char &c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

// A real file whose name the memory table also holds with other bytes: what
// the reads deliver says which layer served the source.
class LayerChoice : public Tables {
 protected:
  void SetUp() override {
    file_ = stream_path("mpeg1_system.mpg");
    other_ = stream_path("mpeg2_ps.mpg");
    ASSERT_FALSE(file_.empty());
    ASSERT_FALSE(other_.empty());
    mem_.add_from_disk(file_, other_);
    file_video_ = demux_test::read_file(stream_path("mpeg1_system.mpg.video.es"));
    other_video_ = demux_test::read_file(stream_path("mpeg2_ps.mpg.video.es"));
  }
  MemoryFiles mem_;
  std::string file_, other_;
  Bytes file_video_, other_video_;
};

TEST_F(LayerChoice, WholeTablesServeAndPartialOnesAreSkipped) {
  struct Row {
    const char *what;
    int32_t command;
    void (*edit)(FileIoTable &);
    bool table_serves;
  };
  const Row rows[] = {
      {"A complete", CTL_SET_FILE_IO_A, [](FileIoTable &) {}, true},
      {"B complete", CTL_SET_FILE_IO_B, [](FileIoTable &) {}, true},
      {"A without read", CTL_SET_FILE_IO_A, [](FileIoTable &t) { t.read = nullptr; }, false},
      {"A without close", CTL_SET_FILE_IO_A, [](FileIoTable &t) { t.close = nullptr; }, false},
      {"B without set position", CTL_SET_FILE_IO_B, [](FileIoTable &t) { t.set_position = nullptr; }, false},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    FileIoTable t = MemoryFiles::table();
    row.edit(t);
    SysControl(row.command, reinterpret_cast<intptr_t>(&t));
    const PullRun r = pull_run(file_);
    SysControl(row.command, 0);
    ASSERT_TRUE(r.opened);
    EXPECT_TRUE(same_stream(r.video, row.table_serves ? other_video_ : file_video_));
    EXPECT_EQ(mem_.open_now(), 0);
  }
  EXPECT_EQ(mem_.counts.bad_handle.load(), 0);
}

TEST_F(LayerChoice, NotificationTableBLeavesFilesToTheSystemAndHearsTheHandle) {
  FileIoTable full = MemoryFiles::table();
  FileIoTable b = {};
  b.notify11 = full.notify11;
  b.notify12 = full.notify12;
  b.notify13 = full.notify13;
  SysControl(CTL_SET_FILE_IO_B, reinterpret_cast<intptr_t>(&b));
  ASSERT_EQ(SysProbe(file_.c_str(), nullptr), SOURCE_KIND_SYSTEM);
  const int32_t handle = SysOpen(file_.c_str(), 0);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(SysControl(CTL_SOURCE_HANDLE, 0), handle);
  SysControl(CTL_FILE_IO_B_HOOK1, 0);
  EXPECT_EQ(mem_.notified_handle.load(), handle);
  SysControl(CTL_FILE_IO_B_HOOK2, 0);
  SysControl(CTL_FILE_IO_B_HOOK3, 77);
  EXPECT_EQ(mem_.notified_param.load(), 77);
  EXPECT_EQ(mem_.counts.notify11.load(), 1);
  EXPECT_EQ(mem_.counts.notify12.load(), 1);
  EXPECT_EQ(mem_.counts.notify13.load(), 1);
  EXPECT_EQ(mem_.counts.open.load() + mem_.counts.open16.load(), 0);
  SysClose();
  // With a table serving the source, the notifications carry its handle.
  FileIoTable a = full;
  SysControl(CTL_SET_FILE_IO_A, reinterpret_cast<intptr_t>(&a));
  SysProbe(file_.c_str(), nullptr);
  const int32_t table_handle = SysOpen(file_.c_str(), 0);
  ASSERT_GE(table_handle, testing_support::kMemoryHandleBase);
  SysControl(CTL_FILE_IO_B_HOOK2, 0);
  EXPECT_EQ(mem_.notified_handle.load(), table_handle);
  SysClose();  // while the table still exists
}

TEST_F(LayerChoice, ATableInstalledMidStreamWaitsForTheNextOpen) {
  SysProbe(file_.c_str(), nullptr);
  ASSERT_NE(SysOpen(file_.c_str(), 0), -1);
  SysFlush(DRAVIK_FLUSH_AUDIO_OFF);
  Bytes video;
  std::vector<uint8_t> buf(16384);
  for (int i = 0; i < 8; ++i) {
    const int32_t n = SysReadVideo(buf.data(), 16384);
    video.insert(video.end(), buf.begin(), buf.begin() + n);
  }
  FileIoTable a = MemoryFiles::table();
  SysControl(CTL_SET_FILE_IO_A, reinterpret_cast<intptr_t>(&a));
  for (;;) {
    const int32_t n = SysReadVideo(buf.data(), 16384);
    video.insert(video.end(), buf.begin(), buf.begin() + n);
    if (n < 16384) break;
  }
  // A seek and the close stay with the system's descriptor too.
  EXPECT_EQ(SysSeek(0, 0), 0);
  SysClose();
  EXPECT_TRUE(same_stream(video, file_video_));
  EXPECT_EQ(mem_.counts.open.load() + mem_.counts.read.load() + mem_.counts.close.load(), 0);
  const PullRun next = pull_run(file_);
  EXPECT_TRUE(same_stream(next.video, other_video_));
  EXPECT_EQ(mem_.open_now(), 0);
  EXPECT_EQ(mem_.counts.bad_handle.load(), 0);
}

std::vector<std::string> files_in(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void extract(const std::string &path, const std::string &dir) {
  SysControl(CTL_SET_OUTPUT_DIR, reinterpret_cast<intptr_t>(dir.c_str()));
  ASSERT_NE(SysControl(CTL_EXTRACT_OPEN, reinterpret_cast<intptr_t>(path.c_str())), -1);
  for (int i = 0; i < 1000000 && !SysControl(CTL_AT_END, 0); ++i) SysControl(CTL_EXTRACT_STEP, 0);
  EXPECT_EQ(SysControl(CTL_EXTRACT_CLOSE, 0), 0);
}

TEST_F(Tables, TableCServesFileSizesSourcesAndExtractionOutputs) {
  const std::string path = stream_path("vob_ac3_lpcm.vob");
  ASSERT_FALSE(path.empty());
  const std::string os_dir = testing_support::scratch_dir() + "/os_run";
  ASSERT_EQ(system(("mkdir -p " + os_dir).c_str()), 0);
  extract(path, os_dir);
  const std::vector<std::string> os_files = files_in(os_dir);
  ASSERT_FALSE(os_files.empty());

  MemoryFiles mem;
  const std::string name = "memory:vob_ac3_lpcm.vob";
  ASSERT_TRUE(mem.add_from_disk(name, path));
  FileIoTableC c = MemoryFiles::table_c();
  SysControl(CTL_SET_FILE_IO_C, reinterpret_cast<intptr_t>(&c));
  const Bytes whole = demux_test::read_file(path);
  EXPECT_EQ(SysFileSize(name.c_str()), static_cast<int32_t>(whole.size()));
  EXPECT_EQ(SysFileSize(path.c_str()), -1) << "table C answers for every name";
  EXPECT_EQ(mem.counts.find_first.load(), 2);

  extract(name, "memory/");
  SysControl(CTL_SET_FILE_IO_C, 0);
  std::vector<std::string> names;
  for (const std::string &n : mem.written_names()) names.push_back(n.substr(std::string("memory/").size()));
  EXPECT_EQ(names, os_files);
  for (const std::string &f : os_files) {
    EXPECT_EQ(mem.written("memory/" + f), demux_test::read_file(os_dir + "/" + f)) << f;
  }
  EXPECT_EQ(mem.open_now(), 0);
  EXPECT_EQ(mem.counts.bad_handle.load(), 0);
}

}  // namespace
}  // namespace hooks_test
