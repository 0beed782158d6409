// The engine on the generated streams, checked against ffprobe: header
// values through the exports and `razavori info`, the coding types of every
// picture in stream order, the number of pictures stepped, and many opens
// and closes in a row.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_media.h"
#include "video/video_api.h"

namespace {

std::string run(const std::string &command) {
  std::string out;
  FILE *p = popen(command.c_str(), "r");
  if (!p) return out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  pclose(p);
  return out;
}

std::string quote(const std::string &s) { return "'" + s + "'"; }

bool is_elementary(const std::string &name) {
  const auto ends = [&](const char *ext) {
    const std::string e = ext;
    return name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
  };
  return ends(".m1v") || ends(".m2v");
}

// "key=value" lines of ffprobe's default writer.
std::map<std::string, std::string> key_values(const std::string &text) {
  std::map<std::string, std::string> kv;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos && !kv.count(line.substr(0, eq)))
      kv[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return kv;
}

struct ProbeInfo {
  int width = 0, height = 0;
  int rate_num = 0, rate_den = 1;
  std::string pix_fmt, field_order, bit_rate;
  std::string types;  // one letter per frame in stream (coded) order
};

ProbeInfo run_ffprobe(const std::string &path) {
  ProbeInfo info;
  auto kv = key_values(run("ffprobe -v error -select_streams v:0 -show_streams " + quote(path)));
  info.width = std::atoi(kv["width"].c_str());
  info.height = std::atoi(kv["height"].c_str());
  std::sscanf(kv["r_frame_rate"].c_str(), "%d/%d", &info.rate_num, &info.rate_den);
  info.pix_fmt = kv["pix_fmt"];
  info.field_order = kv["field_order"];
  info.bit_rate = kv["bit_rate"];
  // Frames come out in display order; coded_picture_number gives the order
  // in the stream.
  const std::string frames =
      run("ffprobe -v error -select_streams v:0 -show_frames -show_entries "
          "frame=pict_type,coded_picture_number -of csv=p=0 " +
          quote(path));
  std::vector<std::pair<int, char>> list;
  std::istringstream in(frames);
  std::string line;
  while (std::getline(in, line)) {
    char type = 0;
    int coded = -1;
    if (std::sscanf(line.c_str(), "%c,%d", &type, &coded) == 2) list.emplace_back(coded, type);
  }
  std::stable_sort(list.begin(), list.end());
  for (auto &f : list) info.types.push_back(f.second);
  return info;
}

// ffprobe decodes the whole stream for its frame list: once per stream.
const ProbeInfo &ffprobe(const std::string &path) {
  static std::map<std::string, ProbeInfo> cache;
  auto it = cache.find(path);
  if (it == cache.end()) it = cache.emplace(path, run_ffprobe(path)).first;
  return it->second;
}

struct InfoOutput {
  std::map<std::string, std::string> values;
  std::string frame_types;  // field pairs joined: the first field's type
  int pictures = 0;
};

InfoOutput razavori_info(const std::string &path) {
  const char *bin = std::getenv("RAZAVORI_BINARY_DIR");
  const std::string tool = std::string(bin ? bin : ".") + "/bin/razavori";
  const std::string text = run(quote(tool) + " info --pictures " + quote(path));
  InfoOutput out;
  std::istringstream in(text);
  std::string line;
  bool in_pictures = false;
  bool pending_field = false;
  while (std::getline(in, line)) {
    if (line == "pictures:") {
      in_pictures = true;
      continue;
    }
    if (!in_pictures) {
      const size_t colon = line.find(": ");
      if (colon != std::string::npos) out.values[line.substr(0, colon)] = line.substr(colon + 2);
      continue;
    }
    char type = 0;
    char structure[16] = {};
    long n = 0;
    if (std::sscanf(line.c_str(), "%ld %c %15s", &n, &type, structure) != 3) continue;
    ++out.pictures;
    const bool field = std::string(structure) != "frame";
    if (field && pending_field) {
      pending_field = false;  // second field of the frame
      continue;
    }
    pending_field = field;
    out.frame_types.push_back(type);
  }
  return out;
}

// Bit rate of the first sequence header, read straight from the bytes: the
// 18-bit field after size, aspect and rate codes (8 bytes from the start
// code's first byte), plus the 12-bit extension when a sequence extension
// follows. ffprobe reports it only for some streams.
long long header_bit_rate(const std::string &path) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  std::vector<unsigned char> b(1 << 20);
  b.resize(std::fread(b.data(), 1, b.size(), f));
  std::fclose(f);
  for (size_t i = 0; i + 12 < b.size(); ++i) {
    if (b[i] || b[i + 1] || b[i + 2] != 1 || b[i + 3] != 0xB3) continue;
    long long value = (b[i + 8] << 10) | (b[i + 9] << 2) | (b[i + 10] >> 6);
    for (size_t j = i + 12; j + 10 < b.size() && j < i + 300; ++j) {
      if (b[j] || b[j + 1] || b[j + 2] != 1) continue;
      if (b[j + 3] == 0xB5 && (b[j + 4] >> 4) == 1) {
        // sequence extension: id 4, profile 8, progressive 1, chroma 2,
        // sizes 2 + 2, then bit_rate_extension 12 bits.
        const unsigned long long bits = (static_cast<unsigned long long>(b[j + 4]) << 40) |
                                        (static_cast<unsigned long long>(b[j + 5]) << 32) |
                                        (static_cast<unsigned long long>(b[j + 6]) << 24) |
                                        (static_cast<unsigned long long>(b[j + 7]) << 16) |
                                        (static_cast<unsigned long long>(b[j + 8]) << 8) | b[j + 9];
        const long long ext = static_cast<long long>((bits >> (48 - 4 - 8 - 1 - 2 - 4 - 12)) & 0xFFF);
        value += ext << 18;
      }
      if (b[j + 3] == 0xB5 || b[j + 3] == 0xB2) continue;
      break;
    }
    return value * 400;
  }
  return -1;
}

struct Stream {
  const char *name;
  int mpeg2;
};

const Stream kStreams[] = {
    {"video_mpeg1.m1v", 0},
    {"video_mpeg2_progressive.m2v", 1},
    {"video_mpeg2_interlaced.m2v", 1},
    {"video_mpeg2_open_gop.m2v", 1},
    {"video_starts_with_b.m2v", 1},
    {"video_mpeg1_360x240.m1v", 0},
    {"mpeg1_system.mpg", 0},
    {"mpeg2_ps.mpg", 1},
    {"vob_ac3_lpcm.vob", 1},
    {"ts_mpeg2.ts", 1},
};

class EngineStreams : public ::testing::TestWithParam<Stream> {
 protected:
  static void SetUpTestSuite() { VideoStartup(); }
  std::string path() const { return testing_support::media_path(GetParam().name); }
};

TEST_P(EngineStreams, HeaderValuesMatchFfprobe) {
  const std::string p = path();
  ASSERT_TRUE(std::filesystem::exists(p)) << p;
  const ProbeInfo &ref = ffprobe(p);
  const InfoOutput info = razavori_info(p);
  ASSERT_FALSE(info.values.empty()) << "razavori info printed nothing for " << p;

  EXPECT_EQ(info.values.at("size"), std::to_string(ref.width) + "x" + std::to_string(ref.height));
  EXPECT_EQ(info.values.at("frame rate"), std::to_string(ref.rate_num) + "/" + std::to_string(ref.rate_den));
  EXPECT_EQ(info.values.at("mpeg2"), std::to_string(GetParam().mpeg2));
  const std::map<std::string, std::string> chroma = {
      {"yuv420p", "1 (4:2:0)"}, {"yuv422p", "2 (4:2:2)"}, {"yuv444p", "3 (4:4:4)"}};
  ASSERT_TRUE(chroma.count(ref.pix_fmt)) << ref.pix_fmt;
  EXPECT_EQ(info.values.at("chroma format"), chroma.at(ref.pix_fmt));
  if (GetParam().mpeg2) {
    // ffprobe calls a progressive sequence "progressive" and an interlaced
    // one by its field order.
    EXPECT_EQ(info.values.at("progressive sequence"), ref.field_order == "progressive" ? "1" : "0")
        << "field order " << ref.field_order;
  } else {
    EXPECT_EQ(info.values.at("progressive sequence"), "1");
  }
  const bool elementary = is_elementary(p);
  if (elementary && ref.bit_rate != "N/A" && !ref.bit_rate.empty()) {
    // For elementary streams ffprobe's rate, when it gives one, is the
    // sequence header's.
    EXPECT_EQ(info.values.at("bit rate"), ref.bit_rate);
  }
  if (elementary) {
    EXPECT_EQ(info.values.at("bit rate"), std::to_string(header_bit_rate(p)));
  }

  // Through the engine's exports.
  ASSERT_EQ(VideoOpen(nullptr, p.c_str(), nullptr, 0), 1);
  int32_t height = 0;
  EXPECT_EQ(VideoCommand(VCMD_SEQUENCE_SIZE, reinterpret_cast<intptr_t>(&height)), ref.width);
  EXPECT_EQ(height, ref.height);
  EXPECT_EQ(std::to_string(VideoCommand(VCMD_FRAME_RATE_CODE, 0)), info.values.at("frame rate code"));
  EXPECT_EQ(std::to_string(VideoGetBitRate()), info.values.at("bit rate"));
  EXPECT_EQ(VideoCommand(VCMD_IS_ELEMENTARY, 0), elementary ? 1 : 0);
  VideoClose(1);
}

TEST_P(EngineStreams, PictureTypesInStreamOrderMatchFfprobe) {
  const std::string p = path();
  ASSERT_TRUE(std::filesystem::exists(p)) << p;
  const ProbeInfo &ref = ffprobe(p);
  const InfoOutput info = razavori_info(p);
  ASSERT_FALSE(ref.types.empty());
  std::string ours = info.frame_types;
  if (std::string(GetParam().name) == "video_starts_with_b.m2v" && ours.size() > ref.types.size()) {
    // ffmpeg drops the B pictures that refer to the missing picture before
    // the first I; drop them from ours too.
    const size_t first_i = ours.find('I');
    size_t k = first_i + 1;
    while (k < ours.size() && ours[k] == 'B' && ours.size() > ref.types.size()) ours.erase(k, 1);
  }
  EXPECT_EQ(ours, ref.types);
}

// A picture-counting host display.
int32_t count_picture(void *user, const KestrumPicture *p) {
  auto *count = static_cast<int *>(user);
  if (p->width > 0 && p->height > 0 && p->y) ++*count;
  return 1;
}

TEST_P(EngineStreams, SteppingShowsEveryPictureOnce) {
  const std::string p = path();
  ASSERT_TRUE(std::filesystem::exists(p)) << p;
  const ProbeInfo &ref = ffprobe(p);
  int shown = 0;
  KestrumHostDisplay display{};
  display.user = &shown;
  display.present_planes = count_picture;
  ASSERT_EQ(VideoOpen(&display, p.c_str(), nullptr, 0), 1);
  int guard = 0;
  while (VideoStep() && ++guard < 10000) {
  }
  EXPECT_EQ(VideoCommand(VCMD_AT_END, 0), 1);
  VideoClose(1);
  if (std::string(GetParam().name) == "video_starts_with_b.m2v") {
    EXPECT_GE(shown, static_cast<int>(ref.types.size()));
  } else {
    EXPECT_EQ(shown, static_cast<int>(ref.types.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Generated, EngineStreams, ::testing::ValuesIn(kStreams),
                         [](const ::testing::TestParamInfo<Stream> &i) {
                           std::string n = i.param.name;
                           for (char &c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

TEST(EngineStreamsOpenClose, HundredOpensInARow) {
  VideoStartup();
  const std::string p = testing_support::media_path("video_mpeg1.m1v");
  ASSERT_TRUE(std::filesystem::exists(p)) << p;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(VideoOpen(nullptr, p.c_str(), nullptr, 0), 1) << i;
    if (i % 25 == 0) VideoStep();
    ASSERT_EQ(VideoClose(1), 1) << i;
  }
  const std::string s = testing_support::media_path("mpeg1_system.mpg");
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(VideoOpen(nullptr, s.c_str(), nullptr, 0), 1) << i;
    ASSERT_EQ(VideoClose(1), 1) << i;
  }
  VideoShutdown();
}

}  // namespace
