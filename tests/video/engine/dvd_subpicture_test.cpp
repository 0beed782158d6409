// DVD title sets and subpictures through the engine: the title set's
// attributes and aspect at open, the rate divisor of a multi-part set,
// subpictures mixed into the pictures against ffmpeg's overlay (colours in
// the area, the rest untouched) and against ffprobe's display times, and
// held pictures that stay clean unless asked otherwise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/support/command_output.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"
#include "video/video_api.h"

namespace {

using testing_support::media_path;
namespace fs = std::filesystem;

constexpr int kWidth = 720, kHeight = 576;
const KestrumHostDisplay kTakesNothing{};

std::vector<uint8_t> bytes_of(const std::string &path) {
  return testing_support::read_file_bytes(path).value_or(std::vector<uint8_t>{});
}
std::string vob1() { return media_path("dvdt_disc/VIDEO_TS/VTS_01_1.VOB"); }
// The whole pictures a command writes to its standard output (kept in
// memory: the streams are large).
std::vector<uint8_t> pictures_of(const std::string &command) {
  const std::string out = testing_support::command_output(command);
  const size_t picture = testing_support::yuv_picture_size(720, 576);
  return std::vector<uint8_t>(out.begin(),
                              out.begin() + static_cast<std::ptrdiff_t>(out.size() / picture * picture));
}
std::string razavori() {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  return std::string(bin ? bin : ".") + "/bin/razavori";
}

class DvdEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  void SetUp() override {
    ASSERT_TRUE(fs::exists(vob1())) << "test disc missing: scripts/media.d/dvd_titles";
  }
  void TearDown() override {
    VideoClose(1);
    SysControl(CTL_SPU_ENABLE, 0);
    VideoCommand(VCMD_MIX_SUBPICTURE, 0);
  }
  static bool open(const std::string &path) {
    return VideoOpen(&kTakesNothing, path.c_str(), nullptr, 0) != 0;
  }
};

TEST_F(DvdEngine, TitleSetAttributesAtOpen) {
  const std::vector<uint8_t> ifo = bytes_of(media_path("dvdt_disc/VIDEO_TS/VTS_01_0.IFO"));
  const intptr_t opens = VideoCommand(VCMD_OPEN_COUNT, 0);
  ASSERT_TRUE(open(vob1()));
  EXPECT_EQ(VideoCommand(VCMD_OPEN_COUNT, 0), opens + 1);
  EXPECT_EQ(VideoCommand(VCMD_DVD_AUDIO_COUNT, 0), 2);
  EXPECT_EQ(VideoCommand(VCMD_DVD_SPU_COUNT, 0), 3);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const void *>(VideoCommand(VCMD_DVD_AUDIO_ATTRIBUTES, 0)),
                        &ifo[0x204], 64),
            0);
  EXPECT_EQ(
      std::memcmp(reinterpret_cast<const void *>(VideoCommand(VCMD_DVD_SPU_ATTRIBUTES, 0)), &ifo[0x256], 192),
      0);
  EXPECT_EQ(VideoCommand(VCMD_IS_WIDE, 0), 1);
  // Command 145: the routine that takes a unit from the host.
  using TakeUnit = int32_t (*)(const void *, int32_t);
  const auto take = reinterpret_cast<TakeUnit>(VideoCommand(VCMD_GET_VALUE_145, 0));
  ASSERT_NE(take, nullptr);
  EXPECT_EQ(take(nullptr, 100), 0);
  const uint8_t too_short[] = {0, 2, 0, 0};
  EXPECT_EQ(take(too_short, 2), 0);
  // One part: the divisor is the title's seconds.
  EXPECT_EQ(SysControl(CTL_BYTE_RATE, 0), static_cast<intptr_t>(fs::file_size(vob1()) / 7));
  VideoClose(1);

  ASSERT_TRUE(open(media_path("dvdt_disc/VIDEO_TS/VTS_02_1.VOB")));
  EXPECT_EQ(VideoCommand(VCMD_DVD_AUDIO_COUNT, 0), 1);
  EXPECT_EQ(VideoCommand(VCMD_DVD_SPU_COUNT, 0), 0);
  EXPECT_EQ(VideoCommand(VCMD_IS_WIDE, 0), 0);
  EXPECT_EQ(VideoCommand(VCMD_GET_ASPECT_FACTOR, 0), 320);
  VideoClose(1);

  // Not title-set VOBs: the menu VOB name, and a plain program stream.
  const std::string dir = testing_support::scratch_dir() + "/VIDEO_TS";
  fs::create_directories(dir);
  fs::copy_file(media_path("dvdt_disc/VIDEO_TS/VTS_01_0.IFO"), dir + "/VTS_01_0.IFO",
                fs::copy_options::overwrite_existing);
  fs::remove(dir + "/VIDEO_TS.VOB");
  fs::create_symlink(vob1(), dir + "/VIDEO_TS.VOB");
  for (const std::string &path : {dir + "/VIDEO_TS.VOB", media_path("dvdt_bench.vob")}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(open(path));
    EXPECT_EQ(VideoCommand(VCMD_DVD_AUDIO_COUNT, 0), -1);
    EXPECT_EQ(VideoCommand(VCMD_DVD_SPU_COUNT, 0), -1);
    VideoClose(1);
  }
}

// A set in two parts: the divisor handed to the media layer is the seconds
// of the part opened, so the byte rate is the whole set's.
TEST_F(DvdEngine, RateOfAPartOfAMultiPartSet) {
  const std::string dir = testing_support::scratch_dir() + "/parts/VIDEO_TS";
  fs::create_directories(dir);
  fs::copy_file(media_path("dvdt_disc/VIDEO_TS/VTS_01_0.IFO"), dir + "/VTS_01_0.IFO",
                fs::copy_options::overwrite_existing);
  const std::vector<uint8_t> vob = bytes_of(vob1());
  const size_t half = vob.size() / 2 / 2048 * 2048;
  std::ofstream(dir + "/VTS_01_1.VOB", std::ios::binary)
      .write(reinterpret_cast<const char *>(vob.data()), half);
  std::ofstream(dir + "/VTS_01_2.VOB", std::ios::binary)
      .write(reinterpret_cast<const char *>(vob.data() + half),
             static_cast<std::streamsize>(vob.size() - half));
  ASSERT_TRUE(open(dir + "/VTS_01_1.VOB"));
  const double rate = static_cast<double>(SysControl(CTL_BYTE_RATE, 0));
  EXPECT_NEAR(rate, static_cast<double>(vob.size()) / 7, vob.size() / 7 * 0.2);
}

struct Stepped {
  std::vector<std::vector<uint8_t>> pictures;  // display size, yuv420p
};

std::vector<uint8_t> held_picture() {
  std::vector<uint8_t> out;
  const auto *p = reinterpret_cast<const KestrumPlaneRecord *>(VideoCommand(VCMD_PLANE_RECORD, 0));
  if (!p) return out;
  for (int y = 0; y < kHeight; ++y)
    out.insert(out.end(), p->y + y * p->y_pitch, p->y + y * p->y_pitch + kWidth);
  for (const auto &[plane, pitch] : {std::pair{p->cb, p->cb_pitch}, std::pair{p->cr, p->cr_pitch}})
    for (int y = 0; y < kHeight / 2; ++y)
      out.insert(out.end(), plane + y * pitch, plane + y * pitch + kWidth / 2);
  return out;
}

// Steps through the file holding each picture; `release` false leaves every
// picture held when stepping on.
Stepped step_all(const std::string &path, bool deliver, int32_t burn_in, bool release) {
  Stepped r;
  if (deliver) {
    SysControl(CTL_SPU_SELECT, 0);
    SysControl(CTL_SPU_ENABLE, 1);
  }
  VideoCommand(VCMD_MIX_SUBPICTURE, burn_in);
  if (!VideoOpen(&kTakesNothing, path.c_str(), nullptr, 0)) return r;
  // The open may show the first picture already; each step shows one.
  bool have = VideoCommand(VCMD_PLANE_RECORD, 0) != 0;
  for (;;) {
    if (have) {
      VideoCommand(VCMD_HOLD_PICTURE, 0);
      r.pictures.push_back(held_picture());
      if (release) VideoCommand(VCMD_RELEASE_PICTURE, 0);
    }
    if (!VideoStep()) break;
    have = true;
  }
  VideoCommand(VCMD_RELEASE_PICTURE, 0);
  VideoClose(1);
  SysControl(CTL_SPU_ENABLE, 0);
  VideoCommand(VCMD_MIX_SUBPICTURE, 0);
  return r;
}

TEST_F(DvdEngine, HeldPicturesStayCleanUnlessAsked) {
  const Stepped plain = step_all(vob1(), false, 0, true);
  const Stepped delivered = step_all(vob1(), true, 0, true);
  const Stepped burnt = step_all(vob1(), true, 1, true);
  const Stepped never_released = step_all(vob1(), true, 1, false);
  ASSERT_GT(plain.pictures.size(), 150u);
  ASSERT_EQ(delivered.pictures.size(), plain.pictures.size());
  ASSERT_EQ(burnt.pictures.size(), plain.pictures.size());
  EXPECT_TRUE(delivered.pictures == plain.pictures);
  int differing = 0;
  for (size_t i = 0; i < plain.pictures.size(); ++i) differing += burnt.pictures[i] != plain.pictures[i];
  EXPECT_GT(differing, 60);
  // Stepping on from a held, burnt-in picture restores it first: no trace
  // of the subpicture is carried into the pictures predicted from it.
  EXPECT_TRUE(never_released.pictures == burnt.pictures);
}

// ---- against ffmpeg ------------------------------------------------------

struct Shown {
  double start = 0, end = 0;  // seconds from the first picture
};

// Display spans of a subpicture stream by ffprobe: packet time and the
// unit's end display time.
std::vector<Shown> probe_spans(int id) {
  const std::string v0 = testing_support::command_output(
      "ffprobe -v error -select_streams v:0 -show_entries stream=start_time -of csv=p=0 '" + vob1() + "'");
  char sid[8];
  std::snprintf(sid, sizeof sid, "0x%x", id);
  const std::string text = testing_support::command_output(
      "ffprobe -v error -show_frames -ifo_palette '" + media_path("dvdt_disc/VIDEO_TS/VTS_01_0.IFO") +
      "' -select_streams i:" + sid +
      " -show_entries frame=pts_time,start_display_time,end_display_time -of csv=p=0 '" + vob1() + "'");
  std::vector<Shown> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    double pts = 0;
    int from = 0, to = 0;
    // media type, pts, pts_time, format, start and end display time (ms)
    if (std::sscanf(line.c_str(), "subtitle,%*d,%lf,%*d,%d,%d", &pts, &from, &to) == 3)
      out.push_back({pts - std::atof(v0.c_str()) + from / 1000.0, pts - std::atof(v0.c_str()) + to / 1000.0});
  }
  return out;
}

testing_support::PictureView view(const std::vector<uint8_t> &yuv, int index) {
  return testing_support::yuv_picture(yuv, kWidth, kHeight, index);
}
bool same_luma(const testing_support::PictureView &a, const testing_support::PictureView &b) {
  for (int y = 0; y < kHeight; ++y)
    if (std::memcmp(a.y.data + y * a.y.stride, b.y.data + y * b.y.stride, kWidth) != 0) return false;
  return true;
}

TEST_F(DvdEngine, SubpicturesMatchFfmpegOverlay) {
  ASSERT_TRUE(testing_support::tool_available("ffmpeg") && testing_support::tool_available("ffprobe"));
  const std::string ifo = media_path("dvdt_disc/VIDEO_TS/VTS_01_0.IFO");
  const std::vector<uint8_t> plain = pictures_of(razavori() + " video '" + vob1() + "' --yuv /dev/stdout");
  // ffmpeg's own decoding, to tell its decoder's few differing samples from
  // the overlay's.
  const std::vector<uint8_t> ffplain = pictures_of("ffmpeg -hide_banner -loglevel error -threads 1 -i '" +
                                                   vob1() + "' -map 0:v -f rawvideo -pix_fmt yuv420p -");
  ASSERT_GT(plain.size(), 0u);
  ASSERT_GE(ffplain.size(), plain.size());
  const int frames = static_cast<int>(plain.size() / testing_support::yuv_picture_size(kWidth, kHeight));
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(n);
    const int id = 0x20 + n;
    char filter[64];
    std::snprintf(filter, sizeof filter, "[0:v][0:i:0x%x]overlay", id);
    const std::vector<uint8_t> ours = pictures_of(razavori() + " video '" + vob1() + "' --subpicture " +
                                                  std::to_string(n) + " --yuv /dev/stdout");
    const std::vector<uint8_t> ff =
        pictures_of("ffmpeg -hide_banner -loglevel error -threads 1 -ifo_palette '" + ifo + "' -i '" +
                    vob1() + "' -filter_complex '" + filter + "' -f rawvideo -pix_fmt yuv420p -");
    ASSERT_EQ(ours.size(), plain.size());
    ASSERT_GE(ff.size(), plain.size());
    const std::vector<Shown> spans = probe_spans(id);
    ASSERT_FALSE(spans.empty());

    // Timing: shown not before the unit's time and at most 8 pictures
    // after it; hidden likewise.
    std::vector<bool> shown(static_cast<size_t>(frames));
    for (int f = 0; f < frames; ++f)
      shown[static_cast<size_t>(f)] = !same_luma(view(ours, f), view(plain, f));
    for (const Shown &s : spans) {
      const int first = static_cast<int>(std::ceil(s.start * 25 - 1e-6));
      const int after = static_cast<int>(std::ceil(s.end * 25 - 1e-6));
      SCOPED_TRACE(first);
      int on = -1, off = -1;
      for (int f = std::max(first - 10, 0); f < frames; ++f) {
        if (on < 0 && shown[static_cast<size_t>(f)]) on = f;
        if (on >= 0 && !shown[static_cast<size_t>(f)]) {
          off = f;
          break;
        }
      }
      EXPECT_GE(on, first);
      EXPECT_LE(on, first + 8);
      EXPECT_GE(off, after);
      EXPECT_LE(off, after + 8);

      // Mid-display: luma within 1 in the area (beyond where the two
      // decoders differ), chroma close, and the rest of the picture our
      // plain decoding.
      const int mid = (first + 8 + after) / 2;
      const auto o = view(ours, mid), r = view(ff, mid), p = view(plain, mid), q = view(ffplain, mid);
      int x0 = kWidth, y0 = kHeight, x1 = -1, y1 = -1;
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
          if (o.y.data[y * o.y.stride + x] != p.y.data[y * p.y.stride + x] ||
              r.y.data[y * r.y.stride + x] != p.y.data[y * p.y.stride + x]) {
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
          }
      ASSERT_GE(x1, x0);
      int worst = 0;
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
          worst = std::max(worst, std::abs(o.y.data[y * o.y.stride + x] - r.y.data[y * r.y.stride + x]) -
                                      std::abs(p.y.data[y * p.y.stride + x] - q.y.data[y * q.y.stride + x]));
      EXPECT_LE(worst, 1);
      auto box = [&](const testing_support::PlaneView &v) {
        return testing_support::PlaneView{v.data + (y0 / 2) * v.stride + x0 / 2, v.stride,
                                          x1 / 2 - x0 / 2 + 1, y1 / 2 - y0 / 2 + 1};
      };
      EXPECT_GE(testing_support::plane_psnr(box(o.cb), box(r.cb)), 38.0);
      EXPECT_GE(testing_support::plane_psnr(box(o.cr), box(r.cr)), 38.0);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
          if ((x < x0 || x > x1 || y < y0 || y > y1) &&
              o.y.data[y * o.y.stride + x] != p.y.data[y * p.y.stride + x]) {
            ADD_FAILURE() << "changed outside the area at " << x << "," << y;
            y = kHeight;
            break;
          }
    }
  }
}

// The overlay picture at 16,16 with opacity 128 against ffmpeg's overlay of
// the same bitmap at alpha 0.5.
TEST_F(DvdEngine, OverlayPictureMatchesFfmpeg) {
  ASSERT_TRUE(testing_support::tool_available("ffmpeg"));
  const std::string dir = testing_support::scratch_dir() + "/logo";
  fs::create_directories(dir);
  const std::string logo = media_path("dvdt_logo.bmp");
  testing_support::command_output(razavori() + " video '" + vob1() + "' --frames 12 --overlay '" + logo +
                                  "@16,16,128' --yuv " + dir + "/ours.yuv");
  testing_support::command_output(
      "ffmpeg -hide_banner -loglevel error -y -threads 1 -i '" + vob1() + "' -i '" + logo +
      "' -filter_complex '[1:v]format=rgba,colorchannelmixer=aa=0.5[l];[0:v][l]overlay=16:16' -frames:v 12 "
      "-f rawvideo -pix_fmt yuv420p " +
      dir + "/ff.yuv");
  const std::vector<uint8_t> ours = bytes_of(dir + "/ours.yuv"), ff = bytes_of(dir + "/ff.yuv");
  ASSERT_EQ(ours.size(), testing_support::yuv_picture_size(kWidth, kHeight) * 12);
  ASSERT_EQ(ff.size(), ours.size());
  for (int f = 0; f < 12; ++f) {
    SCOPED_TRACE(f);
    const auto o = view(ours, f), r = view(ff, f);
    auto box = [](const testing_support::PlaneView &v, int shift) {
      return testing_support::PlaneView{v.data + (16 >> shift) * v.stride + (16 >> shift), v.stride,
                                        96 >> shift, 64 >> shift};
    };
    EXPECT_GE(testing_support::plane_psnr(box(o.y, 0), box(r.y, 0)), 45.0);
    EXPECT_GE(testing_support::plane_psnr(box(o.cb, 1), box(r.cb, 1)), 38.0);
    EXPECT_GE(testing_support::plane_psnr(box(o.cr, 1), box(r.cr, 1)), 38.0);
  }
  fs::remove_all(dir);
}

}  // namespace
