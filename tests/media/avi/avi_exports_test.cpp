// The AVI family through libdravik.so: probe and open routing, stream
// lists and selection, positions, seeks and the audio reads.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/media_api.h"
#include "platform/avi/avi_reader.h"
#include "tests/support/test_media.h"

namespace avi = platform::avi;
using testing_support::media_path;

namespace {

class AviSource : public ::testing::Test {
 protected:
  void TearDown() override { SysClose(); }
  int32_t open(const char *name, int32_t expect_kind) {
    const std::string path = media_path(name);
    int32_t length = -1;
    EXPECT_EQ(SysProbe(path.c_str(), &length), expect_kind) << name;
    EXPECT_EQ(SysOpen(path.c_str(), 0), DRAVIK_HANDLE_AVI) << name;
    return length;
  }
};

TEST_F(AviSource, ProbeAndOpenRouteToTheAviFamily) {
  const int32_t length = open("avi_divx_mp2.avi", SOURCE_KIND_SYSTEM);
  EXPECT_GE(length, 8000);  // the longest stream: the sound's last frame
  EXPECT_LT(length, 8100);
  EXPECT_EQ(SysControl(CTL_SOURCE_HANDLE, 0), DRAVIK_HANDLE_AVI);
  EXPECT_EQ(SysControl(CTL_BYTE_RATE, 0), 1000);
  const volatile int32_t *counter = nullptr;
  EXPECT_EQ(SysVideoAvail(&counter), 10000);
  EXPECT_EQ(SysAudioAvail(&counter), 1000);
  EXPECT_EQ(SysGetPackOverhead(), DRAVIK_PACK_OVERHEAD_AVI);
  EXPECT_EQ(SysAviVideoCount(), 1);
  EXPECT_EQ(SysAviAudioCount(), 1);
  EXPECT_EQ(SysAviCurrentVideo(), SysAviVideoStreams()[0]);
  uint8_t buf[64];
  EXPECT_EQ(SysReadVideo(buf, sizeof buf), 0);  // the engines read AVI themselves
  int32_t d = 0;
  EXPECT_EQ(SysAviProbe(media_path("avi_i420.avi").c_str(), &d), SOURCE_KIND_VIDEO);
  EXPECT_EQ(d, 2000);
  EXPECT_EQ(SysAviProbe(media_path("avi_audio_only.avi").c_str(), &d), SOURCE_KIND_AUDIO);
  EXPECT_EQ(SysAviProbe(testing_support::sample_path("README.md").c_str(), &d), SOURCE_KIND_NOTHING);
}

TEST_F(AviSource, SeeksLandOnKeyFramesAndClampToTheLength) {
  open("avi_divx_mp2.avi", SOURCE_KIND_SYSTEM);
  EXPECT_EQ(SysAviSeek(5000, 0), 4000);
  EXPECT_EQ(SysAviVideoTime(), 4000);
  EXPECT_EQ(SysAviSeek(0, 1), 4000);
  EXPECT_EQ(SysAviNextFrame(), 100);
  EXPECT_EQ(SysAviNextFrame(), 101);
  EXPECT_EQ(SysSeek(2500, 0), 2000);  // SysSeek forwards to SysAviSeek
  EXPECT_EQ(SysAviSeek(-5000, 0), 0);
  EXPECT_EQ(SysAviSeek(1000, 2), 6000);  // clamped to 8000, last key 6000
  // Skip: the key after the position + 6; none left -> the end and -1.
  EXPECT_EQ(SysAviSkipToKey(), -1);
  EXPECT_EQ(SysAviAtEnd(), 1);
  EXPECT_EQ(SysAviNextFrame(), -1);
  SysAviSeek(0, 0);
  EXPECT_EQ(SysAviSkipToKey(), 50);
  EXPECT_EQ(SysAviAtEnd(), 0);
}

TEST_F(AviSource, ThreeAudioStreamsSwitchAndOutOfRangeKeepsTheChoice) {
  open("avi_three_audio.avi", SOURCE_KIND_SYSTEM);
  ASSERT_EQ(SysAviAudioCount(), 3);
  DravikAviStream *third = SysAviSelectAudio(2);
  EXPECT_EQ(third, SysAviAudioStreams()[2]);
  EXPECT_EQ(SysAviSelectAudio(5), third);
  EXPECT_EQ(SysAviSelectVideo(7), SysAviVideoStreams()[0]);
  EXPECT_EQ(SysAviCurrentAudio(), third);
  EXPECT_EQ(SysAviSelectAudio(-1), nullptr);
  EXPECT_EQ(SysAviCurrentAudio(), nullptr);
  EXPECT_EQ(SysAviAudioClock(), -1);
  EXPECT_EQ(SysAviReadAudio(nullptr, 0), 0);
}

TEST_F(AviSource, AudioReadsFollowThePositionToTheEnd) {
  open("avi_mjpeg_pcm.avi", SOURCE_KIND_SYSTEM);
  const auto *stream = reinterpret_cast<const avi::Stream *>(SysAviCurrentAudio());
  ASSERT_NE(stream, nullptr);
  std::vector<uint8_t> whole;
  for (const auto &e : avi::stream_index(stream)) {
    size_t at = whole.size();
    whole.resize(at + e.size);
    avi::read_at(avi::stream_file(stream), e.offset, whole.data() + at, e.size);
  }
  std::vector<uint8_t> got, buf(8192);
  int32_t n;
  while ((n = SysAviReadAudio(buf.data(), 8192)) > 0) got.insert(got.end(), buf.begin(), buf.begin() + n);
  EXPECT_EQ(got, whole);
  // Re-aligned to the video position (frame 50 = 2 s = 88,200 samples).
  SysAviSeek(2000, 0);
  EXPECT_EQ(SysAviSyncAudio(), 88200);
}

TEST_F(AviSource, AudioOnlyIsAtEndFromTheStart) {
  open("avi_audio_only.avi", SOURCE_KIND_AUDIO);
  EXPECT_EQ(SysAviAtEnd(), 1);
  EXPECT_EQ(SysAviCurrentVideo(), nullptr);
  EXPECT_EQ(SysAviSyncAudio(), 0);
  EXPECT_EQ(SysAviSeek(1500, 0), 1500);
  uint8_t buf[4096];
  EXPECT_EQ(SysAviReadAudio(buf, sizeof buf), 4096);
}

}  // namespace
