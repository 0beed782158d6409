// Files on descriptors and directory search.
#include "platform/file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/directory.h"
#include "tests/platform/platform_fixture.h"

namespace {

using platform_test::FolderTest;
using FileTest = FolderTest;
using DirectoryTest = FolderTest;

// Sources without an end or a size are refused, and the open itself does
// not wait for a writer that never comes.
TEST_F(FileTest, FifosAndCharacterDevicesAreRefused) {
  const std::string fifo = path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  errno = 0;
  EXPECT_EQ(platform::file_open(fifo.c_str()), -1);
  EXPECT_EQ(errno, ENODEV);
  errno = 0;
  EXPECT_EQ(platform::file_open("/dev/zero"), -1);
  EXPECT_EQ(errno, ENODEV);
}

TEST_F(FileTest, CreateWriteSeekReadSize) {
  std::string p = path("data.bin");
  int fd = platform::file_create(p.c_str());
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> bytes(70000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31 + 7);
  EXPECT_EQ(platform::file_write(fd, bytes.data(), int32_t(bytes.size())), 70000);
  EXPECT_EQ(platform::file_size(fd), 70000);
  platform::file_close(fd);
  EXPECT_EQ(platform::file_size(p.c_str()), 70000);

  fd = platform::file_open(p.c_str());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(platform::file_seek(fd, 65536, 0), 65536);
  uint8_t buf[8192];
  EXPECT_EQ(platform::file_read(fd, buf, sizeof buf), 70000 - 65536);
  EXPECT_EQ(0, std::memcmp(buf, bytes.data() + 65536, 70000 - 65536));
  EXPECT_EQ(platform::file_read(fd, buf, sizeof buf), 0) << "at the end a read gives 0";
  EXPECT_EQ(platform::file_seek(fd, -10, 2), 69990);
  EXPECT_EQ(platform::file_seek(fd, -5, 1), 69985);
  EXPECT_EQ(platform::file_read(fd, buf, 3), 3);
  EXPECT_EQ(buf[0], bytes[69985]);
  EXPECT_EQ(platform::file_seek(fd, -1, 0), -1) << "before the start";
  EXPECT_EQ(platform::file_seek(fd, 0, 3), -1) << "unknown origin";
  EXPECT_EQ(platform::file_seek(fd, 0, 1), 69988) << "a failed seek does not move";
  platform::file_close(fd);

  // Create truncates an existing file.
  fd = platform::file_create(p.c_str());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(platform::file_size(fd), 0);
  platform::file_close(fd);
}

TEST_F(FileTest, ModesAndFailures) {
  std::string p = path("rw.bin");
  write_text(p, "abcdef");
  int fd = platform::file_open(p.c_str(), platform::OpenMode::read);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(platform::file_write(fd, "x", 1), -1) << "read-only descriptor";
  platform::file_close(fd);
  fd = platform::file_open(p.c_str(), platform::OpenMode::read_write);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(platform::file_seek(fd, 2, 0), 2);
  EXPECT_EQ(platform::file_write(fd, "XY", 2), 2);
  platform::file_close(fd);
  EXPECT_EQ(read_text(p), "abXYef");

  char buf[4];
  EXPECT_EQ(platform::file_open(path("missing").c_str()), -1);
  EXPECT_EQ(platform::file_open(nullptr), -1);
  EXPECT_EQ(platform::file_open(dir().c_str()), -1) << "a folder is not a file";
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(platform::file_size(path("missing").c_str()), -1);
  EXPECT_EQ(platform::file_size(dir().c_str()), -1);
  EXPECT_EQ(platform::file_size(-1), -1);
  EXPECT_EQ(platform::file_read(-1, buf, 4), -1);
  EXPECT_EQ(platform::file_write(-1, buf, 4), -1);
  EXPECT_EQ(platform::file_seek(-1, 0, 0), -1);
  EXPECT_EQ(platform::file_create(path("no/such/folder/x").c_str()), -1);
  platform::file_close(-1);  // harmless

  EXPECT_TRUE(platform::file_exists(p.c_str()));
  EXPECT_TRUE(platform::file_remove(p.c_str()));
  EXPECT_FALSE(platform::file_exists(p.c_str()));
  EXPECT_FALSE(platform::file_remove(p.c_str()));
}

TEST(Wildcard, Matches) {
  struct Case {
    const char *pattern, *name;
    bool ci, expected;
  } cases[] = {
      {"*", "anything", true, true},
      {"*.VOB", "vts_01_1.vob", true, true},
      {"*.VOB", "vts_01_1.vob", false, false},
      {"VTS_??_?.VOB", "VTS_01_1.VOB", false, true},
      {"VTS_??_?.VOB", "VTS_1_1.VOB", false, false},
      {"a*b*c", "aXXbYYc", true, true},
      {"a*b*c", "aXXbYY", true, false},
      {"*abc", "ababc", true, true},
      {"", "", true, true},
      {"", "a", true, false},
      {"**", "", true, true},
      {"?", "", true, false},
      {"*.*", "dotted.name", true, true},
      {"*.*", "plain", true, false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(platform::wildcard_match(c.pattern, c.name, c.ci), c.expected) << c.pattern << " vs " << c.name;
}

TEST_F(DirectoryTest, FindsFilesCaseInsensitively) {
  std::filesystem::create_directories(path("VIDEO_TS"));
  write_text(path("VIDEO_TS/VIDEO_TS.IFO"), "ifo");
  write_text(path("VIDEO_TS/VTS_01_1.VOB"), std::string(2048, 'v'));
  write_text(path("VIDEO_TS/vts_01_2.vob"), std::string(4096, 'v'));
  write_text(path("VIDEO_TS/README"), "r");
  std::filesystem::create_directories(path("VIDEO_TS/sub.vob"));

  auto vobs = platform::find_files(path("VIDEO_TS"), "VTS_*.VOB");
  ASSERT_EQ(vobs.size(), 2u);
  EXPECT_EQ(vobs[0].name, "VTS_01_1.VOB");
  EXPECT_EQ(vobs[0].size, 2048);
  EXPECT_FALSE(vobs[0].is_directory);
  EXPECT_EQ(vobs[1].name, "vts_01_2.vob");
  EXPECT_EQ(vobs[1].size, 4096);
  EXPECT_EQ(platform::find_files(path("VIDEO_TS"), "VTS_*.VOB", false).size(), 1u);

  auto all = platform::find_files(path("VIDEO_TS"), "*.*");
  ASSERT_EQ(all.size(), 5u) << "\"*.*\" takes names without a dot too";
  auto sub = platform::find_files(path("VIDEO_TS"), "*.vob");
  ASSERT_EQ(sub.size(), 3u);
  EXPECT_TRUE(sub[1].is_directory);
  EXPECT_EQ(sub[1].name, "sub.vob");
  EXPECT_TRUE(platform::find_files(path("nothing"), "*").empty());
}

TEST_F(DirectoryTest, LooksUpNamesCaseInsensitively) {
  std::filesystem::create_directories(path("video_ts"));
  write_text(path("video_ts/vts_01_1.vob"), "x");
  write_text(path("Same"), "1");
  write_text(path("SAME"), "2");
  EXPECT_EQ(platform::find_file_nocase(dir(), "VIDEO_TS/VTS_01_1.VOB"), path("video_ts/vts_01_1.vob"));
  EXPECT_EQ(platform::find_file_nocase(dir(), "Video_Ts"), path("video_ts"));
  EXPECT_EQ(platform::find_file_nocase(dir(), "SAME"), path("SAME")) << "the exact spelling wins";
  EXPECT_EQ(platform::find_file_nocase(dir(), "same"), path("SAME")) << "then the first in name order";
  EXPECT_EQ(platform::find_file_nocase(dir(), "VIDEO_TS/VTS_02_1.VOB"), "");
  EXPECT_EQ(platform::find_file_nocase(dir(), "missing/x"), "");
  EXPECT_EQ(platform::find_file_nocase(dir(), ""), "");
}

TEST_F(DirectoryTest, FreeSpaceAndSystemFolders) {
  EXPECT_GT(platform::free_space(dir()), 0);
  EXPECT_EQ(platform::free_space(path("missing")), -1);

  const char *old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", dir().c_str(), 1);
  EXPECT_EQ(platform::temp_folder(), dir() + "/");
  setenv("TMPDIR", path("missing").c_str(), 1);
  EXPECT_EQ(platform::temp_folder(), "/tmp/");
  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");

  std::string exe = platform::executable_folder();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(exe + "platform_tests"));
}

}  // namespace
