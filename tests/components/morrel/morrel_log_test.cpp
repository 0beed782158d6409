// Damaged AC-3 frames become silence without a word on stderr, while the
// process's own logging (level and other contexts) stays as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/ac3/ac3_tables.h"
#include "components/morrel/morrel.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Everything written to file descriptor 2 while it runs.
template <typename Fn>
std::string stderr_of(Fn fn) {
  std::fflush(stderr);
  char path[] = "/tmp/morrel_stderr_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    ADD_FAILURE() << "no temporary file";
    return {};
  }
  unlink(path);
  const int saved = dup(2);
  dup2(fd, 2);
  fn();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string text;
  char buf[4096];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(fd);
  return text;
}

TEST(MorrelLog, DamagedFramesWriteNothingToStderr) {
  auto data = testing_support::read_file_bytes(testing_support::media_path("af_tones51.ac3"));
  ASSERT_TRUE(data.has_value());
  const ac3::FrameHeader h = ac3::parse_header(data->data());
  ASSERT_GT(h.bytes, 0);
  const std::vector<uint8_t> good(data->begin(), data->begin() + h.bytes);

  std::vector<std::vector<uint8_t>> damaged;
  damaged.push_back(good);
  damaged.back()[5] = 0xF8;  // a bitstream id no decoder takes
  damaged.push_back(good);
  for (int i = 40; i < h.bytes - 2; i += 3) damaged.back()[i] ^= 0x5A;  // the audio blocks scrambled
  damaged.push_back(good);
  damaged.back()[4] = 0x3F;  // a frame size code past the table

  // Loud enough that libavcodec's complaints would show.
  const int level = av_log_get_level();
  av_log_set_level(AV_LOG_DEBUG);
  for (bool multi : {false, true}) {
    void *dec = MorrelOpen(nullptr, 0, nullptr);
    ASSERT_NE(dec, nullptr);
    std::vector<int16_t> out(MORREL_FRAME_SAMPLES * MORREL_MULTI_CHANNELS);
    const std::string said = stderr_of([&] {
      for (const auto &frame : damaged) {
        Ac3Params p{};
        p.multichannel = multi ? 1 : 0;
        p.output_mode = multi ? MORREL_MODE_MULTI : 0;
        p.dynamic_range = 1.0;
        p.second_scale = 1.0;
        p.input = frame.data();
        p.input_length = static_cast<int32_t>(frame.size());
        p.output = reinterpret_cast<uint8_t *>(out.data());
        p.output_capacity = static_cast<int32_t>(out.size() * 2);
        Ac3Info info{};
        MorrelDecode(dec, &p, &info);
      }
    });
    EXPECT_EQ(said, "") << (multi ? "six channels" : "stereo");
    MorrelClose(dec, 0);
  }
  // Other contexts still speak, and the level is the process's.
  EXPECT_EQ(av_log_get_level(), AV_LOG_DEBUG);
  const std::string other = stderr_of([] { av_log(nullptr, AV_LOG_ERROR, "still heard\n"); });
  EXPECT_NE(other.find("still heard"), std::string::npos);
  av_log_set_level(level);
}

}  // namespace
