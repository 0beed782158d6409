// Frame-store lifetime. One decoder whose stream changes picture size and
// chroma format several times (the fixed small-picture buffers made for a
// small size and used again for a larger one, allocated buffers of several
// sizes, 4:2:0 to 4:2:2 at one size), and several decoders in one process,
// one after another and side by side. The streams come from ffmpeg and from
// mjpegtools' mpeg2enc (interlaced, dual prime, custom matrices). Every
// picture shown must be the one ffmpeg decodes from that stream on its own,
// in count and order: at least 50 dB on average and 45 dB worst.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_media.h"
#include "tests/support/tool_run.h"
#include "tests/video/decode/decode_support.h"

namespace {

using video_test::Picture;

struct StreamSpec {
  const char *name;
  const char *encoder;  // "mpeg2video", "mpeg1video" or "mpeg2enc"
  int width, height, chroma_format;
  const char *options;  // encoder options
};

// Seven pictures each: I B B P B B, then the last anchor held back by
// display order until the stream ends or changes.
const StreamSpec kStreams[] = {
    {"sif_420", "mpeg2video", 352, 288, 1, ""},
    {"pal_420", "mpeg2video", 720, 576, 1, ""},
    {"qcif_420", "mpeg2video", 176, 144, 1, ""},
    {"ntsc_sif_420", "mpeg2video", 352, 240, 1, ""},
    {"sif_422", "mpeg2video", 352, 288, 2, "-pix_fmt yuv422p"},
    {"wide_420", "mpeg2video", 480, 272, 1, "-flags +ildct+ilme"},
    {"interlaced_mpeg2enc", "mpeg2enc", 352, 288, 1, "-I 1"},
    {"dual_prime_mpeg2enc", "mpeg2enc", 352, 288, 1, "-I 1 --dualprime-mpeg2"},
    {"kvcd_matrices_mpeg2enc", "mpeg2enc", 352, 288, 1, "-K kvcd"},
    {"odd_size_mpeg1", "mpeg1video", 200, 120, 1, ""},
};

std::string quoted(const std::string &s) { return "'" + s + "'"; }

// Encodes one stream and ffmpeg's decode of it (raw planes) beside it.
void make_stream(const StreamSpec &s, const std::string &path) {
  const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
  const std::string source =
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=" + size +
      ":rate=25 -frames:v 7 ";
  std::string make;
  if (std::string(s.encoder) == "mpeg2enc") {
    make = source +
           "-field_order tt -pix_fmt yuv420p -f yuv4mpegpipe - | mpeg2enc -v 0 -f 8 -q 4 -g 6 -G 6 " +
           s.options + " -o " + quoted(path);
  } else {
    const std::string format = std::string(s.encoder) == "mpeg1video" ? "mpeg1video" : "mpeg2video";
    make = source + "-c:v " + s.encoder + " -q:v 3 -g 6 -bf 2 -flags +cgop -sc_threshold 1000000000 " +
           s.options + " -f " + format + " " + quoted(path);
  }
  ASSERT_EQ(std::system(make.c_str()), 0) << make;
  const std::string decode = "ffmpeg -nostdin -hide_banner -loglevel error -y -i " + quoted(path) +
                             " -fps_mode passthrough -pix_fmt " +
                             (s.chroma_format == 2 ? "yuv422p" : "yuv420p") + " -f rawvideo " +
                             quoted(path + ".yuv");
  ASSERT_EQ(std::system(decode.c_str()), 0) << decode;
}

struct Made {
  std::vector<uint8_t> bytes;
  std::vector<Picture> reference;
};

// The streams, made once for the binary.
class Resize : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string dir = testing_support::scratch_dir();
    for (const StreamSpec &s : kStreams) {
      const std::string path = dir + "/" + s.name + ".m2v";
      make_stream(s, path);
      if (testing::Test::HasFatalFailure()) return;
      Made &m = made()[s.name];
      m.bytes = testing_support::file_bytes(path);
      m.reference = video_test::read_yuv(path + ".yuv", s.width, s.height, s.chroma_format);
    }
  }
  void SetUp() override {
    for (const StreamSpec &s : kStreams) {
      const auto it = made().find(s.name);
      ASSERT_TRUE(it != made().end() && !it->second.bytes.empty() && !it->second.reference.empty())
          << "stream " << s.name << " was not made";
    }
  }
  static std::map<std::string, Made> &made() {
    static std::map<std::string, Made> streams;
    return streams;
  }
  static const Made &stream(const std::string &name) { return made().at(name); }

  // The streams one after the other as one stream, and the pictures ffmpeg
  // decodes from each on its own.
  static Made joined(const std::vector<std::string> &names) {
    Made j;
    for (const std::string &n : names) {
      const Made &m = stream(n);
      j.bytes.insert(j.bytes.end(), m.bytes.begin(), m.bytes.end());
      j.reference.insert(j.reference.end(), m.reference.begin(), m.reference.end());
    }
    return j;
  }
};

// How pictures are driven: step_picture as the engine's steps do, or
// find_picture, parse_picture_header and decode_picture as its play loops do.
enum class Path { kSteps, kParseAndDecode };

// One decoder going through a stream as the engine does, keeping every
// picture shown at the size and chroma format of its own layout.
class Playthrough {
 public:
  explicit Playthrough(const std::vector<uint8_t> &bytes, const kestrum::DecoderSettings &settings = {},
                       int32_t chunk = 1 << 30, Path path = Path::kSteps)
      : source_{bytes}, path_(path) {
    source_.chunk = chunk;
    decoder_.set_settings(settings);
    decoder_.set_source(source_.source());
    open_ = decoder_.open_stream() && decoder_.frame_store_ready();
    if (open_) take();
  }
  bool open() const { return open_; }
  /// One step; false at the end (the last anchor then taken).
  bool step() {
    if (!open_ || done_) return false;
    const int64_t before = decoder_.pictures_decoded();
    if (!advance()) {
      if (decoder_.show_last_anchor()) take();
      done_ = true;
      return false;
    }
    if (decoder_.pictures_decoded() != before || decoder_.picture_pending()) take();
    return true;
  }
  void finish() {
    while (step()) {
    }
  }
  const std::vector<Picture> &pictures() const { return pictures_; }

 private:
  bool advance() {
    if (path_ == Path::kSteps) return decoder_.step_picture() != 0;
    if (!decoder_.find_picture()) return false;
    decoder_.parse_picture_header();
    decoder_.decode_picture();
    return true;
  }

  void take() {
    if (!decoder_.has_shown_picture() || decoder_.expecting_second_field()) return;
    const kestrum::FrameGeometry &g = decoder_.geometry();
    pictures_.push_back(video_test::crop_planes(decoder_.shown_planes(), g.horizontal_size, g.vertical_size,
                                                g.chroma_format));
  }

  video_test::MemorySource source_;
  kestrum::Decoder decoder_;
  Path path_;
  bool open_ = false;
  bool done_ = false;
  std::vector<Picture> pictures_;
};

// Same pictures, sizes and order as the reference (only its first
// `compared` pictures when given).
void expect_matches(const std::vector<Picture> &ours, const std::vector<Picture> &ref,
                    const std::string &what, size_t compared = 0) {
  if (compared == 0) {
    ASSERT_EQ(ours.size(), ref.size()) << what;
  } else {
    ASSERT_GE(ours.size(), compared) << what;
    ASSERT_GE(ref.size(), compared) << what;
  }
  const size_t n = compared ? compared : ours.size();
  double sum = 0, worst = 99;
  for (size_t i = 0; i < n; ++i) {
    ASSERT_EQ(ours[i].width, ref[i].width) << what << " picture " << i;
    ASSERT_EQ(ours[i].height, ref[i].height) << what << " picture " << i;
    ASSERT_EQ(ours[i].cb.size(), ref[i].cb.size()) << what << " picture " << i << ": chroma format";
    for (auto plane : {&Picture::y, &Picture::cb, &Picture::cr}) {
      const double p = video_test::plane_psnr(ours[i].*plane, ref[i].*plane);
      sum += p;
      worst = std::min(worst, p);
    }
  }
  const double average = n ? sum / double(3 * n) : 0;
  std::printf("%-40s %zu pictures, PSNR average %.2f dB, worst %.2f dB\n", what.c_str(), n, average, worst);
  EXPECT_GE(average, 50.0) << what;
  EXPECT_GE(worst, 45.0) << what;
}

TEST_F(Resize, OneDecoderFollowsEverySizeAndChromaFormatChange) {
  // Static buffers, allocated ones, static again for a smaller and then a
  // larger small size, 4:2:0 to 4:2:2 at one size, interlaced, dual prime,
  // custom matrices, another allocated size, and back to the first.
  const Made j = joined({"sif_420", "pal_420", "qcif_420", "ntsc_sif_420", "sif_422", "interlaced_mpeg2enc",
                         "dual_prime_mpeg2enc", "wide_420", "kvcd_matrices_mpeg2enc", "sif_420"});
  for (int32_t chunk : {1 << 30, 4099}) {
    for (Path path : {Path::kSteps, Path::kParseAndDecode}) {
      Playthrough run(j.bytes, {}, chunk, path);
      ASSERT_TRUE(run.open());
      run.finish();
      expect_matches(run.pictures(), j.reference,
                     std::string(path == Path::kSteps ? "joined, steps" : "joined, parse and decode") +
                         ", reads of " + std::to_string(chunk));
    }
  }
}

TEST_F(Resize, APictureThatWaitedMayBeSkipped) {
  // A play loop that passes over the picture which waited for the held-back
  // anchor goes on with the next one; it is handed out once only.
  const Made j = joined({"sif_420", "pal_420", "qcif_420"});
  video_test::MemorySource source{j.bytes};
  kestrum::Decoder d;
  d.set_source(source.source());
  ASSERT_TRUE(d.open_stream());
  int waited = 0, decoded = 0, found = 0;
  bool skip_next = false;
  while (found < 1000 && d.find_picture()) {
    ++found;
    d.parse_picture_header();
    if (skip_next) {
      skip_next = false;
      continue;
    }
    d.decode_picture();
    if (d.picture_pending()) {
      ++waited;
      skip_next = true;
    } else {
      ++decoded;
    }
  }
  EXPECT_EQ(waited, 2);  // one per change of size
  // Every picture after the one open_stream decodes, the two that waited
  // twice.
  EXPECT_EQ(found, 21 - 1 + 2);
  EXPECT_EQ(decoded, found - 2 * waited);
}

TEST_F(Resize, SequencesBeyondTheSizeLimitAreSkipped) {
  // The large sequence between two small ones is refused: its pictures are
  // skipped and the next sequence decodes as if it followed the first.
  kestrum::DecoderSettings settings;
  settings.max_picture_side = 400;
  Playthrough run(joined({"sif_420", "pal_420", "qcif_420"}).bytes, settings);
  ASSERT_TRUE(run.open());
  run.finish();
  expect_matches(run.pictures(), joined({"sif_420", "qcif_420"}).reference, "with 720x576 refused");
}

TEST_F(Resize, DecodersOneAfterAnother) {
  // Twice round, so that each decoder's buffers were an earlier one's.
  for (int round = 0; round < 2; ++round) {
    for (const StreamSpec &s : kStreams) {
      Playthrough run(stream(s.name).bytes);
      ASSERT_TRUE(run.open()) << s.name;
      run.finish();
      expect_matches(run.pictures(), stream(s.name).reference, s.name);
    }
  }
}

TEST_F(Resize, DecodersSideBySide) {
  // Two decoders stepping in turn; the first is destroyed half way and a
  // third takes its place. None may write into another's buffers.
  auto first = std::make_unique<Playthrough>(stream("sif_422").bytes);
  Playthrough second(joined({"qcif_420", "dual_prime_mpeg2enc", "pal_420"}).bytes);
  ASSERT_TRUE(first->open());
  ASSERT_TRUE(second.open());
  for (int i = 0; i < 3; ++i) {
    first->step();
    second.step();
  }
  const std::vector<Picture> first_pictures = first->pictures();
  ASSERT_FALSE(first_pictures.empty());
  first.reset();
  Playthrough third(stream("sif_420").bytes);
  ASSERT_TRUE(third.open());
  while (second.step() | third.step()) {
  }
  expect_matches(first_pictures, stream("sif_422").reference, "first, stopped half way",
                 first_pictures.size());
  expect_matches(second.pictures(), joined({"qcif_420", "dual_prime_mpeg2enc", "pal_420"}).reference,
                 "second, joined");
  expect_matches(third.pictures(), stream("sif_420").reference, "third");
}

}  // namespace
