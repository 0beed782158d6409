// Extraction compared with ffmpeg's stream copies: every kind a DVD carries
// (video, two AC-3 streams, LPCM, MPEG audio, two subpicture streams made
// by spumux, DTS), a transport stream and a Video CD track, the writer that
// takes the records instead of files, and hand-made packets for the kinds
// no tool here writes (extension audio, SDDS) and the short AC-3 payload.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "media/media_api.h"
#include "tests/media/demux/stream_builder.h"
#include "tests/media/extract/extract_files.h"
#include "tests/media/extract/extract_run.h"

namespace extract_test {
namespace {

void expect_file(const std::string &dir, const std::string &name, const std::string &reference) {
  const Bytes got = read_all(dir + "/" + name);
  const Bytes want = read_all(media(reference));
  ASSERT_FALSE(want.empty()) << reference;
  EXPECT_EQ(got.size(), want.size()) << name;
  EXPECT_TRUE(got == want) << name << " differs from " << reference;
}

TEST(ExtractOracle, DvdKindsEqualFfmpegCopies) {
  const std::string vob = media("ext.vob");
  ASSERT_FALSE(vob.empty());
  const std::string dir = fresh_dir("dvd");
  ASSERT_EQ(extract(vob, dir), 0);
  EXPECT_EQ(SysControl(CTL_EXTRACT_FAILURES, 0), 0);
  const std::vector<std::string> want = {"Audio_0.ABS",  "Audio_0.AC3",  "Audio_0.PCM", "Audio_1.AC3",
                                         "SubPic00.SPU", "SubPic01.SPU", "Video_00.VBS"};
  EXPECT_EQ(files_in(dir), want);
  expect_file(dir, "Video_00.VBS", "ext.vob.video.es");
  expect_file(dir, "Audio_0.AC3", "ext.vob.a80.ac3");
  expect_file(dir, "Audio_1.AC3", "ext.vob.a81.ac3");
  expect_file(dir, "Audio_0.ABS", "ext.vob.audio.es");

  // LPCM: "LPCM", n, then the 6-byte private header and the samples.
  const auto pcm = records(read_all(dir + "/Audio_0.PCM"), "LPCM", 8);
  ASSERT_FALSE(pcm.empty());
  EXPECT_TRUE(joined_payloads(pcm, 6) == read_all(media("ext.vob.a0.s16be")));

  // Subpictures: "SUBP", n, SCR / 2, n bytes; the payloads in order rebuild
  // the units, and the SCRs never go back.
  for (const auto &[file, ref] :
       {std::pair{"SubPic00.SPU", "ext.vob.s20.sub"}, {"SubPic01.SPU", "ext.vob.s21.sub"}}) {
    const auto spu = records(read_all(dir + "/" + file), "SUBP", 12);
    ASSERT_FALSE(spu.empty()) << file;
    EXPECT_TRUE(joined_payloads(spu, 0) == read_all(media(ref))) << file;
    for (size_t i = 1; i < spu.size(); ++i) EXPECT_GE(spu[i].scr, spu[i - 1].scr) << file << " record " << i;
  }
  // The checkerboard units span several packets: more records than units.
  EXPECT_GT(records(read_all(dir + "/SubPic00.SPU"), "SUBP", 12).size(), 2u);
}

TEST(ExtractOracle, DtsRecordsCarryTheFrames) {
  const std::string vob = media("dts.vob");
  ASSERT_FALSE(vob.empty());
  const std::string dir = fresh_dir("dts");
  ASSERT_EQ(extract(vob, dir), 0);
  const auto dts = records(read_all(dir + "/Audio_0.DTS"), "DTS*", 8);
  ASSERT_FALSE(dts.empty());
  // Each payload starts with the frame count and the first access unit
  // pointer, as AC-3 does.
  EXPECT_TRUE(joined_payloads(dts, 3) == read_all(media("dts.vob.dts")));
}

TEST(ExtractOracle, TransportStreamIsExtractedThroughTheConversion) {
  const std::string ts = media("ts_mpeg2.ts");
  ASSERT_FALSE(ts.empty());
  const std::string dir = fresh_dir("ts");
  ASSERT_EQ(extract(ts, dir), 0);
  expect_file(dir, "Video_00.VBS", "ts_mpeg2.ts.video.es");
  expect_file(dir, "Audio_0.ABS", "ts_mpeg2.ts.audio.es");
}

TEST(ExtractOracle, VideoCdTrackFileEqualsTheSystemStreamCopies) {
  const std::string dat = media("avseq01.dat");
  ASSERT_FALSE(dat.empty());
  const std::string dir = fresh_dir("vcd");
  ASSERT_EQ(extract(dat, dir), 0);
  expect_file(dir, "Video_00.VBS", "mpeg1_system.mpg.video.es");
  expect_file(dir, "Audio_0.ABS", "mpeg1_system.mpg.audio.es");
}

// What the writer received, by (kind, index), with the field sizes of each
// call.
struct Captured {
  std::map<std::pair<int32_t, int32_t>, Bytes> bytes;
  std::map<std::pair<int32_t, int32_t>, std::vector<int32_t>> calls;
};
Captured g_captured;

void capture(int32_t kind, int32_t index, const void *data, int32_t length) {
  auto &b = g_captured.bytes[{kind, index}];
  const auto *p = static_cast<const uint8_t *>(data);
  b.insert(b.end(), p, p + length);
  g_captured.calls[{kind, index}].push_back(length);
}

TEST(ExtractOracle, WriterTakesTheSameBytesAndNoFileIsMade) {
  const std::string vob = media("ext.vob");
  ASSERT_FALSE(vob.empty());
  const std::string files = fresh_dir("writer_files");
  ASSERT_EQ(extract(vob, files), 0);

  g_captured = {};
  const std::string none = fresh_dir("writer_none");
  SysControl(CTL_SET_WRITER, reinterpret_cast<intptr_t>(&capture));
  const intptr_t closed = extract(vob, none);
  SysControl(CTL_SET_WRITER, 0);
  ASSERT_EQ(closed, 0);
  EXPECT_TRUE(files_in(none).empty());

  const std::map<std::pair<int32_t, int32_t>, std::string> kNames = {
      {{0, 0}, "Video_00.VBS"}, {{1, 0}, "SubPic00.SPU"}, {{1, 1}, "SubPic01.SPU"}, {{2, 0}, "Audio_0.PCM"},
      {{3, 0}, "Audio_0.AC3"},  {{3, 1}, "Audio_1.AC3"},  {{4, 0}, "Audio_0.ABS"}};
  EXPECT_EQ(g_captured.bytes.size(), kNames.size());
  for (const auto &[key, name] : kNames) {
    EXPECT_TRUE(g_captured.bytes[key] == read_all(files + "/" + name)) << name;
  }
  // Framed kinds come one call per field: tag, length, (SCR), payload.
  const auto &spu = g_captured.calls[{1, 0}];
  ASSERT_GE(spu.size(), 4u);
  EXPECT_EQ(spu[0], 4);
  EXPECT_EQ(spu[1], 4);
  EXPECT_EQ(spu[2], 4);
  const auto &pcm = g_captured.calls[{2, 0}];
  ASSERT_GE(pcm.size(), 3u);
  EXPECT_EQ(pcm[0], 4);
  EXPECT_EQ(pcm[1], 4);
  EXPECT_GT(pcm[2], 4);
}

TEST(ExtractOracle, HandMadeKindsAndShortAc3Payloads) {
  using demux_test::pattern;
  demux_test::StreamBuilder b;
  const Bytes ext = pattern(700, 1), sdds = pattern(300, 2), ac3 = pattern(400, 3);
  for (int i = 0; i < 3; ++i) {
    b.pack(true, 3600u * i, 2000);
    b.mpeg2_packet(0xD2, ext);
    b.private1(0x91, sdds);
    b.private1(0x83, ac3);
    // AC-3 payloads that hold no audio byte, or not even the 3 header bytes.
    b.private1(0x84, Bytes{0x01, 0x00});
    b.private1(0x85, Bytes{0x01, 0x00, 0x01});
  }
  b.program_end();
  const std::string dir = fresh_dir("handmade");
  const std::string src = dir + "/../handmade.mpg";
  write_all(src, b.data());
  SysControl(CTL_SET_NO_PROBE, 1);
  const intptr_t closed = extract(src, dir);
  SysControl(CTL_SET_NO_PROBE, 0);
  ASSERT_EQ(closed, 0);
  EXPECT_EQ(files_in(dir), (std::vector<std::string>{"Audio_1.SDDS", "Audio_2.EXT", "Audio_3.AC3"}));
  Bytes want_ext, want_ac3;
  for (int i = 0; i < 3; ++i) {
    want_ext.insert(want_ext.end(), ext.begin(), ext.end());
    want_ac3.insert(want_ac3.end(), ac3.begin() + 3, ac3.end());
  }
  EXPECT_TRUE(read_all(dir + "/Audio_2.EXT") == want_ext);
  EXPECT_TRUE(read_all(dir + "/Audio_3.AC3") == want_ac3);
  const auto rec = records(read_all(dir + "/Audio_1.SDDS"), "SDDS", 8);
  ASSERT_EQ(rec.size(), 3u);
  for (const Record &r : rec) EXPECT_TRUE(r.payload == sdds);
}

TEST(ExtractOracle, OpenRefusesWhatIsNotASystemStreamAndASecondRunStartsNewFiles) {
  const std::string es = media("video_mpeg1.m1v");
  ASSERT_FALSE(es.empty());
  const std::string dir = fresh_dir("refuse");
  EXPECT_EQ(extract(es, dir), kExtractOpenFailed);
  EXPECT_EQ(extract(dir + "/missing.mpg", dir), kExtractOpenFailed);
  EXPECT_TRUE(files_in(dir).empty());
  // A host that steps anyway is at the end at once.
  SysControl(CTL_EXTRACT_STEP, 0);
  EXPECT_EQ(SysControl(CTL_AT_END, 0), 1);

  const std::string ps = media("mpeg2_ps.mpg");
  ASSERT_FALSE(ps.empty());
  const std::string first = fresh_dir("run1"), second = fresh_dir("run2");
  ASSERT_EQ(extract(ps, first), 0);
  ASSERT_EQ(extract(ps, second, CTL_EXTRACT_OPEN_RAW), 0);
  EXPECT_EQ(files_in(second), files_in(first));
  EXPECT_TRUE(read_all(second + "/Video_00.VBS") == read_all(media("mpeg2_ps.mpg.video.es")));
}

TEST(ExtractOracle, EnableOnAnOpenSourceExtractsFromItsStart) {
  const std::string ps = media("mpeg2_ps.mpg");
  ASSERT_FALSE(ps.empty());
  const std::string dir = fresh_dir("enable");
  int32_t length = 0;
  ASSERT_EQ(SysProbe(ps.c_str(), &length), SOURCE_KIND_SYSTEM);
  ASSERT_NE(SysOpen(ps.c_str(), 0), DRAVIK_HANDLE_NONE);
  SysControl(CTL_SET_OUTPUT_DIR, reinterpret_cast<intptr_t>(dir.c_str()));
  SysControl(CTL_EXTRACT_ENABLE, 0);
  uint32_t last = 0;
  for (int i = 0; i < 1000000 && !SysControl(CTL_AT_END, 0); ++i)
    last = static_cast<uint32_t>(SysControl(CTL_EXTRACT_STEP, 0));
  EXPECT_GT(last, 0u) << "the step reports the SCR / 2 of the last pack";
  ASSERT_EQ(SysControl(CTL_EXTRACT_CLOSE, 0), 0);
  EXPECT_TRUE(read_all(dir + "/Video_00.VBS") == read_all(media("mpeg2_ps.mpg.video.es")));
  EXPECT_TRUE(read_all(dir + "/Audio_0.ABS") == read_all(media("mpeg2_ps.mpg.audio.es")));
  EXPECT_EQ(SysControl(CTL_SOURCE_HANDLE, 0), DRAVIK_HANDLE_NONE);
}

}  // namespace
}  // namespace extract_test
