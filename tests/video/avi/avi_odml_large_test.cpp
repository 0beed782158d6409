// The 1.1 GB OpenDML file (scripts/media.d/avi2): a 4 s clip copied over
// and over into an 'AVI ' part of 1 GiB and an 'AVIX' part. The reader's
// index and length are ffprobe's, chunks past the first part included, and
// the engine seeks into the second part and shows its last picture as
// ffmpeg decodes it (the clip repeats every 100 pictures, GOPs of 25, so
// picture n is picture n % 100 of the file's start).
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "platform/avi/avi_reader.h"
#include "tests/platform/avi/avi_oracle.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"
#include "video/video_api.h"

namespace {

namespace ts = testing_support;
namespace avi = platform::avi;

constexpr int64_t kPictures = 19500;
constexpr int64_t kLengthMs = 780000;
constexpr int64_t kClipPictures = 100;
constexpr int64_t kOneGiB = int64_t{1} << 30;
constexpr int kWidth = 1280, kHeight = 720;

std::string path() { return ts::media_path("avi2_odml_large.avi"); }

struct Packet {
  int64_t pts = 0, pos = 0, size = 0;
  bool key = false;
};

// ffprobe's video packets from the key frame before `seconds` on.
std::vector<Packet> probe_packets(double seconds, int count) {
  std::istringstream in(ts::command_output(
      "ffprobe -v error -read_intervals " + std::to_string(seconds) + "%+#" + std::to_string(count) +
      " -select_streams v:0 -show_entries packet=pts,pos,size,flags -of csv=p=0 '" + path() + "'"));
  std::vector<Packet> out;
  std::string line;
  while (std::getline(in, line)) {
    Packet p;
    char flags[8] = {};
    if (std::sscanf(line.c_str(), "%lld,%lld,%lld,%7s", reinterpret_cast<long long *>(&p.pts),
                    reinterpret_cast<long long *>(&p.size), reinterpret_cast<long long *>(&p.pos),
                    flags) == 4) {
      p.key = flags[0] == 'K';
      out.push_back(p);
    }
  }
  return out;
}

TEST(OdmlLarge, IndexAndLengthAreFfprobes) {
  avi::File *f = avi::open(path().c_str());
  ASSERT_TRUE(f) << path();
  const avi::FileInfo &info = avi::file_info(f);
  EXPECT_EQ(info.riffs, 2);
  EXPECT_EQ(info.index_source, avi::IndexSource::odml);
  EXPECT_FALSE(info.index_completed);
  EXPECT_GT(info.file_size, kOneGiB);
  const avi::Stream *video = avi::stream(f, 0);
  ASSERT_TRUE(video);
  // The header counts only the first part; the index holds them all.
  EXPECT_LT(info.main.total_frames, kPictures);
  const std::string streams = ts::command_output(
      "ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames,duration -of csv=p=0 '" + path() +
      "'");
  EXPECT_EQ(streams, "780.000000," + std::to_string(kPictures) + "\n");
  EXPECT_EQ(avi::stream_end(video), kPictures);
  EXPECT_EQ(avi::sample_to_time(video, avi::stream_end(video)), kLengthMs);
  const std::vector<avi::IndexEntry> &index = avi::stream_index(video);
  ASSERT_EQ(int64_t(index.size()), kPictures);
  EXPECT_EQ(avi::key_count(video), kPictures / 25);
  // Around the start of the second part, and at the very end.
  int64_t first_in_avix = -1;
  for (size_t i = 0; i < index.size() && first_in_avix < 0; ++i)
    if (index[i].offset > kOneGiB) first_in_avix = int64_t(i);
  ASSERT_GT(first_in_avix, 0) << "chunks past the first part";
  for (double seconds : {double(first_in_avix - 1) / 25, 779.5}) {
    const std::vector<Packet> packets = probe_packets(seconds, 30);
    ASSERT_GE(packets.size(), 25u) << seconds;
    // The chunks' bytes: adler32 as ffmpeg's framecrc gives them.
    std::istringstream crcs(ts::command_output("ffmpeg -v error -ss " + std::to_string(seconds) + " -i '" +
                                               path() + "' -map 0:v:0 -c copy -frames:v " +
                                               std::to_string(packets.size()) + " -f framecrc -"));
    std::vector<uint32_t> crc;
    for (std::string line; std::getline(crcs, line);) {
      long long dts = 0, pts = 0, duration = 0, size = 0;
      unsigned value = 0;
      int stream = 0;
      if (line[0] != '#' && std::sscanf(line.c_str(), "%d, %lld, %lld, %lld, %lld, 0x%x", &stream, &dts, &pts,
                                        &duration, &size, &value) == 6)
        crc.push_back(value);
    }
    ASSERT_EQ(crc.size(), packets.size()) << seconds;
    std::vector<uint8_t> bytes;
    for (size_t k = 0; k < packets.size(); ++k) {
      const Packet &p = packets[k];
      ASSERT_LT(p.pts, kPictures);
      const avi::IndexEntry &e = index[size_t(p.pts)];
      // ffprobe names the chunk's header or its data, by how it got there.
      EXPECT_TRUE(e.offset == p.pos || e.offset == p.pos + 8) << "picture " << p.pts << " at " << e.offset;
      EXPECT_EQ(int64_t(e.size), p.size) << "picture " << p.pts;
      EXPECT_EQ(e.key, p.key) << "picture " << p.pts;
      bytes.resize(e.size);
      int32_t got = 0, samples = 0;
      ASSERT_EQ(avi::read(video, p.pts, 1, bytes.data(), int32_t(bytes.size()), &got, &samples), 0);
      EXPECT_EQ(avi_test::adler32(bytes.data(), bytes.size()), crc[k]) << "picture " << p.pts;
    }
  }
  avi::release(f);
}

TEST(OdmlLarge, TheEngineSeeksIntoTheSecondPartAndShowsTheLastPicture) {
  const std::string ref_path = ts::scratch_dir() + "/clip.yuv";
  ASSERT_EQ(ts::run_tool("ffmpeg -v error -y -threads 1 -i '" + path() + "' -map 0:v:0 -frames:v " +
                         std::to_string(kClipPictures) + " -pix_fmt yuv420p -f rawvideo '" + ref_path + "'")
                .status,
            0);
  const std::vector<uint8_t> ref = ts::file_bytes(ref_path);
  ASSERT_EQ(ref.size(), ts::yuv_picture_size(kWidth, kHeight) * kClipPictures);

  VideoStartup();
  static const KestrumHostDisplay takes_nothing{};
  ASSERT_EQ(VideoOpen(&takes_nothing, path().c_str(), nullptr, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_TOTAL_LENGTH, 0), kLengthMs);
  auto shown_matches = [&](int64_t picture) {
    VideoCommand(VCMD_HOLD_PICTURE, 0);
    const auto *p = reinterpret_cast<const KestrumPlaneRecord *>(VideoCommand(VCMD_PLANE_RECORD, 0));
    double psnr = -1;
    if (p) {
      const ts::PictureView ours{{p->y, p->y_pitch, kWidth, kHeight},
                                 {p->cb, p->cb_pitch, kWidth / 2, kHeight / 2},
                                 {p->cr, p->cr_pitch, kWidth / 2, kHeight / 2}};
      psnr =
          ts::picture_psnr(ours, ts::yuv_picture(ref, kWidth, kHeight, int(picture % kClipPictures))).min();
    }
    VideoCommand(VCMD_RELEASE_PICTURE, 0);
    return psnr == ts::kPsnrIdentical;
  };
  // 779.99 s lies in the last GOP (key frames every second).
  EXPECT_EQ(VideoSeek(779990, 0), 779000);
  EXPECT_EQ(VideoCommand(VCMD_PICTURE_TIME, 0), 779000);
  EXPECT_TRUE(shown_matches(kPictures - 25));
  int64_t shown = kPictures - 25;
  while (VideoStep()) ++shown;
  EXPECT_EQ(shown, kPictures - 1) << "steps run to the last picture";
  EXPECT_EQ(VideoCommand(VCMD_PICTURE_TIME, 0), kLengthMs - 40);
  EXPECT_TRUE(shown_matches(kPictures - 1));
  // Seeking in display time to the end shows the last picture too.
  EXPECT_NE(VideoCommand(VCMD_SEEK_TIME, int32_t(kLengthMs)), 0);
  EXPECT_EQ(VideoCommand(VCMD_PICTURE_TIME, 0), kLengthMs - 40);
  EXPECT_TRUE(shown_matches(kPictures - 1));
  VideoClose(1);
  VideoShutdown();
}

}  // namespace
