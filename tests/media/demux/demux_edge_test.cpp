// The demultiplexer's edge cases on small hand-made streams: every PES
// header field and fields straddling 64 KiB blocks, ids seen but not
// stored, the audio switch at a frame boundary, subpicture units over
// several packets, program end codes, MPEG-1 to MPEG-2 packs, damaged and
// oversized packets, and the rings never overwriting unread bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "media/demux/demux_info.h"
#include "media/media_api.h"
#include "tests/media/demux/stream_builder.h"
#include "tests/support/test_media.h"

namespace demux_test {
namespace {

std::string scratch(const std::string &name) { return testing_support::scratch_dir() + "/" + name; }

class DemuxEdge : public ::testing::Test {
 protected:
  void TearDown() override {
    SysFlush(0);
    SysControl(CTL_SPU_ENABLE, 0);
    SysControl(CTL_SPU_BUFFER, 0);
    SysControl(CTL_SPU_CALLBACK, 0);
    SysClose();
  }
  void open(const std::string &path) { ASSERT_NE(SysOpen(path.c_str(), 0), -1) << path; }
  static Bytes pull_video(int32_t chunk = 4096) { return pull(SysReadVideo, chunk); }
  static Bytes pull_audio(int32_t chunk = 1024) { return pull(SysReadAudio, chunk); }
  static Bytes pull(int32_t (*read)(void *, int32_t), int32_t chunk) {
    Bytes out;
    std::vector<uint8_t> buf(static_cast<size_t>(chunk));
    for (;;) {
      const int32_t n = read(buf.data(), chunk);
      if (n <= 0) break;
      out.insert(out.end(), buf.begin(), buf.begin() + n);
      if (n < chunk) break;
    }
    return out;
  }
  static std::vector<int32_t> audio_ids() {
    const auto count = static_cast<int32_t>(SysControl(CTL_AUDIO_COUNT, 0));
    const auto *ids = reinterpret_cast<const int32_t *>(SysControl(CTL_AUDIO_LIST, 0));
    return std::vector<int32_t>(ids, ids + count);
  }
};

// Strips the zero padding of the final remainder (at most 3 bytes).
Bytes unpadded(Bytes got, size_t want) {
  if (got.size() > want && got.size() - want < 4) got.resize(want);
  return got;
}

// Packs of random sizes (so that headers and payloads straddle the 64 KiB
// blocks everywhere), with every optional PES header field in turn, in
// MPEG-1 and in MPEG-2 syntax.
TEST_F(DemuxEdge, EveryHeaderFieldAndEveryBlockBoundary) {
  for (bool mpeg2 : {false, true}) {
    std::mt19937 rng(mpeg2 ? 7 : 3);
    StreamBuilder b;
    Bytes video, audio;
    for (int i = 0; i < 400; ++i) {
      b.pack(mpeg2, 900 * i, 5000, mpeg2 ? i % 8 : 0);
      if (i == 0) b.system_header({0xE0, 0xC0});
      const Bytes v = pattern(1 + rng() % 3000, i);
      const Bytes a = pattern(1 + rng() % 700, i + 1000);
      if (mpeg2) {
        PesFields f;
        f.pts = i % 3 != 0;
        f.dts = i % 3 == 2;
        f.escr = i % 5 == 1;
        f.es_rate = i % 7 == 2;
        f.trick_mode = i % 11 == 3;
        f.copy_info = i % 13 == 4;
        f.crc = i % 4 == 1;
        f.ext_private = i % 6 == 5;
        f.ext_pack_header = i % 9 == 4;
        f.ext_counter = i % 10 == 6;
        f.ext_pstd = i % 8 == 3;
        f.ext2_length = i % 12 == 7 ? static_cast<int>(i % 5) : -1;
        f.stuffing = static_cast<int>(i % 4);
        b.mpeg2_packet(0xE0, v, f);
        PesFields g;
        g.pts = true;
        b.mpeg2_packet(0xC0, a, g);
        if (i % 17 == 0) b.raw_packet(0xBE, Bytes(1 + i % 300, 0xFF));  // padding
      } else {
        b.mpeg1_packet(0xE0, v, static_cast<int>(i % 5), i % 2 == 0, i % 3 + 1);
        b.mpeg1_packet(0xC0, a, 0, i % 3 == 0, 2);
      }
      video.insert(video.end(), v.begin(), v.end());
      audio.insert(audio.end(), a.begin(), a.end());
    }
    b.program_end();
    const std::string path = write_file(scratch(mpeg2 ? "fields2.mpg" : "fields1.mpg"), b.data());
    ASSERT_GT(b.size(), 3u * 65536);
    SCOPED_TRACE(mpeg2 ? "MPEG-2" : "MPEG-1");
    open(path);
    SysFlush(1);
    EXPECT_EQ(unpadded(pull_video(5000), video.size()), video);
    SysClose();
    open(path);
    SysFlush(2);
    EXPECT_EQ(unpadded(pull_audio(777), audio.size()), audio);
  }
}

// An MPEG-1 stream whose system header names audio 0xC8: the id is seen,
// but 0xC8 is no audio stream the rings take.
TEST_F(DemuxEdge, StreamC8IsSeenButNotStored) {
  StreamBuilder b;
  Bytes video;
  for (int i = 0; i < 20; ++i) {
    b.pack(false, 1000 * i);
    if (i == 0) b.system_header({0xE0, 0xC8});
    const Bytes v = pattern(1000, i);
    b.mpeg1_packet(0xE0, v);
    b.mpeg1_packet(0xC8, pattern(300, 100 + i));
    video.insert(video.end(), v.begin(), v.end());
  }
  open(write_file(scratch("c8.mpg"), b.data()));
  EXPECT_EQ(audio_ids(), std::vector<int32_t>{0xC8});
  uint8_t buf[256];
  EXPECT_EQ(SysReadAudio(buf, sizeof buf), 0);
  EXPECT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), -1);
  EXPECT_EQ(unpadded(pull_video(), video.size()), video);
}

// Two MPEG audio streams of 100-byte frames (sync word FF Fx at each frame
// start). 0xC0 packets carry one and a half frames, so the ring holds a
// partial frame when 0xC1 is chosen; the switch drops that partial frame
// and the delivered audio goes on with whole 0xC1 frames.
TEST_F(DemuxEdge, AudioSwitchHappensAtAFrameBoundary) {
  constexpr size_t kFrame = 100;
  auto frames = [&](uint8_t second, uint32_t seed, size_t count) {
    Bytes s;
    for (size_t f = 0; f < count; ++f) {
      Bytes body = pattern(kFrame - 2, static_cast<uint32_t>(seed + f));
      s.push_back(0xFF);
      s.push_back(second);
      s.insert(s.end(), body.begin(), body.end());
    }
    return s;
  };
  const Bytes c0 = frames(0xFC, 1, 300), c1 = frames(0xFD, 5000, 200);
  StreamBuilder b;
  size_t a0 = 0, a1 = 0;
  for (int i = 0; a0 < c0.size() || a1 < c1.size(); ++i) {
    b.pack(true, 900 * i);
    b.mpeg2_packet(0xE0, pattern(200, i));
    if (a0 < c0.size()) {
      const size_t n = std::min(kFrame * 3 / 2, c0.size() - a0);
      b.mpeg2_packet(0xC0, Bytes(c0.begin() + a0, c0.begin() + a0 + n));
      a0 += n;
    }
    if (a1 < c1.size()) {
      b.mpeg2_packet(0xC1, Bytes(c1.begin() + a1, c1.begin() + a1 + kFrame));
      a1 += kFrame;
    }
  }
  open(write_file(scratch("switch.mpg"), b.data()));
  SysFlush(2);
  ASSERT_EQ(audio_ids(), (std::vector<int32_t>{0xC0, 0xC1}));
  Bytes out(1000);
  ASSERT_EQ(SysReadAudio(out.data(), 1000), 1000);
  ASSERT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), 0xC0);
  SysControl(CTL_AUDIO_SELECT, 0xC1);
  // 0xC0 and 0xC1 share a decoder set-up: the switch waits for the next read.
  EXPECT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), 0xC0);
  const Bytes rest = pull_audio(333);
  EXPECT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), 0xC1);
  out.insert(out.end(), rest.begin(), rest.end());
  // out = a prefix of c0 ending on a frame boundary, then c1 from a frame on.
  size_t k = 0;
  while (k < out.size() && k < c0.size() && out[k] == c0[k]) ++k;
  ASSERT_GE(k, 1000u);
  k -= k % kFrame;  // the first frame of c1 may share its sync byte pattern
  EXPECT_EQ(k % kFrame, 0u);
  const Bytes tail(out.begin() + static_cast<long>(k), out.end());
  ASSERT_GE(tail.size(), kFrame);
  const auto at = std::search(c1.begin(), c1.end(), tail.begin(), tail.begin() + kFrame);
  ASSERT_NE(at, c1.end()) << "audio after the switch is not whole 0xC1 frames";
  const size_t j = static_cast<size_t>(at - c1.begin());
  EXPECT_EQ(j % kFrame, 0u);
  EXPECT_EQ(unpadded(tail, c1.size() - j), Bytes(c1.begin() + static_cast<long>(j), c1.end()));
}

struct SpuRecorder {
  static inline int calls = 0;
  static inline intptr_t last_arg = -1;
  static void callback(intptr_t arg) {
    ++calls;
    last_arg = arg;
  }
};

// A subpicture unit of 300 bytes spread over three packets reaches the host
// buffer once, whole, with one callback; a sink takes its own number.
TEST_F(DemuxEdge, SubpictureUnitOverThreePacketsIsDeliveredOnce) {
  Bytes unit = pattern(300, 42);
  unit[0] = 0x01, unit[1] = 0x2C;  // size 300
  unit[2] = 0x00, unit[3] = 0xC8;  // control offset 200
  Bytes sink_unit = pattern(120, 43);
  sink_unit[0] = 0x00, sink_unit[1] = 120, sink_unit[2] = 0x00, sink_unit[3] = 100;
  StreamBuilder b;
  for (int i = 0; i < 3; ++i) {
    b.pack(true, 900 * i);
    b.mpeg2_packet(0xE0, pattern(500, i));
    b.private1(0x21, Bytes(unit.begin() + 100 * i, unit.begin() + 100 * (i + 1)));
    b.private1(0x23, Bytes(sink_unit.begin() + 40 * i, sink_unit.begin() + 40 * (i + 1)));
  }
  b.pack(true, 9000);
  b.mpeg2_packet(0xE0, pattern(500, 9));
  open(write_file(scratch("spu.vob"), b.data()));
  std::vector<uint8_t> host(53220, 0), sink_target(53220, 0);
  SysControl(CTL_SPU_BUFFER, reinterpret_cast<intptr_t>(host.data()));
  SysControl(CTL_SPU_CALLBACK, reinterpret_cast<intptr_t>(&SpuRecorder::callback));
  SysControl(CTL_SPU_ENABLE, 1);
  auto *sink = reinterpret_cast<StreamSink *>(SysControl(CTL_ADD_SINK, 3));
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(SysControl(CTL_ADD_SINK, 3), 0) << "one sink per number";
  EXPECT_EQ(sink->table->stream_number(sink), 3);
  static int sink_calls = 0;
  static intptr_t sink_user = 0;
  sink->table->set_target(sink, 77, sink_target.data(), [](intptr_t user) {
    ++sink_calls;
    sink_user = user;
  });
  SpuRecorder::calls = 0;
  pull_video();
  EXPECT_EQ(SpuRecorder::calls, 1);
  EXPECT_EQ(SpuRecorder::last_arg, 0);
  EXPECT_TRUE(std::equal(unit.begin(), unit.end(), host.begin()));
  EXPECT_EQ(sink_calls, 1);
  EXPECT_EQ(sink_user, 77);
  EXPECT_TRUE(std::equal(sink_unit.begin(), sink_unit.end(), sink_target.begin()));
  EXPECT_EQ(SysControl(CTL_SPU_COUNT, 0), 2);
  const auto *table = reinterpret_cast<const DravikSpuTable *>(SysControl(CTL_SPU_TABLE, 0));
  EXPECT_EQ(table->count, 2);
  EXPECT_EQ(SysControl(CTL_SPU_CURRENT, 0), 1);
  SysControl(CTL_REMOVE_SINK, 3);
}

// A program end code mid-file: the read in progress ends short (its
// remainder rounded up with zeros), the next read goes on after it.
TEST_F(DemuxEdge, ProgramEndCodeEndsTheCurrentReadOnly) {
  const Bytes first = pattern(1001, 1), second = pattern(3000, 2);
  StreamBuilder b;
  b.pack(false, 0);
  b.mpeg1_packet(0xE0, first);
  b.program_end();
  b.pack(false, 900);
  b.mpeg1_packet(0xE0, second);
  open(write_file(scratch("end_code.mpg"), b.data()));
  Bytes buf(4096);
  const int32_t n = SysReadVideo(buf.data(), 4096);
  EXPECT_EQ(n, 1004);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), buf.begin()));
  EXPECT_EQ(buf[1001] | buf[1002] | buf[1003], 0);
  const int32_t m = SysReadVideo(buf.data(), 2000);
  ASSERT_EQ(m, 2000);
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 2000, second.begin()));
}

// MPEG-1 packs followed by MPEG-2 packs: the switch empties the seen lists.
TEST_F(DemuxEdge, Mpeg1ToMpeg2PacksEmptyTheSeenLists) {
  StreamBuilder b;
  for (int i = 0; i < 4; ++i) {
    b.pack(false, 900 * i);
    b.mpeg1_packet(0xE1, pattern(100, i));
    b.mpeg1_packet(0xC0, pattern(100, i));
    b.mpeg1_packet(0xC1, pattern(100, i));
  }
  for (int i = 0; i < 4; ++i) {
    b.pack(true, 9000 + 900 * i);
    b.mpeg2_packet(0xE1, pattern(100, i));
    b.mpeg2_packet(0xC2, pattern(100, i));
  }
  const std::string path = write_file(scratch("mixed.mpg"), b.data());
  open(path);
  pull_video();
  EXPECT_EQ(audio_ids(), std::vector<int32_t>{0xC2});
  DravikDemuxInfo info;
  ASSERT_EQ(DravikGetDemuxInfo(&info), 1);
  EXPECT_EQ(info.mpeg2, 1);
  ASSERT_EQ(info.video_count, 1);
  EXPECT_EQ(info.video_ids[0], 0xE1);
  EXPECT_EQ(SysControl(CTL_STREAM_MIX, 0), 1) << "video other than 0xE0 with audio";
}

// A packet of more than 8192 payload bytes is taken for damage and skipped;
// the parser finds the next pack and goes on. Garbage between packs too.
TEST_F(DemuxEdge, OversizedPacketsAndGarbageAreSkipped) {
  StreamBuilder b;
  Bytes video;
  for (int i = 0; i < 10; ++i) {
    b.pack(true, 900 * i);
    const Bytes v = pattern(i == 4 ? 9000 : 1500, i);
    b.mpeg2_packet(0xE0, v);
    if (i != 4) video.insert(video.end(), v.begin(), v.end());
    if (i == 7) b.bytes(pattern(333, 99));  // garbage between packs
  }
  open(write_file(scratch("damaged.mpg"), b.data()));
  EXPECT_EQ(unpadded(pull_video(), video.size()), video);
}

// Only audio is pulled while the stream carries far more video than the
// 2 MiB video ring holds: the audio arrives whole, and the video ring keeps
// the oldest bytes intact instead of being overwritten behind its reader.
TEST_F(DemuxEdge, VideoRingIsNeverOverwrittenWhileOnlyAudioIsPulled) {
  StreamBuilder b;
  Bytes video, audio;
  for (int i = 0; i < 500; ++i) {
    b.pack(false, 900 * i);
    const Bytes v = pattern(8000, i), a = pattern(64, 7000 + i);
    b.mpeg1_packet(0xE0, v);
    b.mpeg1_packet(0xC0, a);
    video.insert(video.end(), v.begin(), v.end());
    audio.insert(audio.end(), a.begin(), a.end());
  }
  open(write_file(scratch("video_heavy.mpg"), b.data()));
  EXPECT_EQ(unpadded(pull_audio(), audio.size()), audio);
  DravikDemuxInfo info;
  ASSERT_EQ(DravikGetDemuxInfo(&info), 1);
  EXPECT_GT(info.video_dropped, 0);
  // What the ring kept is the start of the video, whole packets of it.
  const Bytes got = pull_video(16384);
  ASSERT_GE(got.size(), 0x200000u - 16384);
  ASSERT_LT(got.size(), 0x200000u);
  EXPECT_EQ(got.size() % 8000, 0u);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), video.begin()));
}

// Commands that change selection: 20, 21, 26 report, 34/85 and 35/86 fill
// the preferred lists, 30 selects a subpicture number.
TEST_F(DemuxEdge, OpeningLooksAtNoMoreThanSixteenMebibytes) {
  // One pack, 40 MiB of nothing, then a second pack: the opening analysis
  // gives up its search before the second one, so the rate is the default
  // rather than one measured across the gap, and the open stays quick on a
  // source that holds no more packs.
  StreamBuilder first;
  first.pack(false, 90000, 3528);
  first.mpeg1_packet(0xE0, pattern(2000, 1));
  StreamBuilder second;
  second.pack(false, 180000, 3528);
  second.mpeg1_packet(0xE0, pattern(2000, 2));
  Bytes file = first.data();
  file.resize(size_t{40} << 20, 0);
  file.insert(file.end(), second.data().begin(), second.data().end());
  const std::string path = write_file(scratch("gap.mpg"), file);
  open(path);
  EXPECT_EQ(SysControl(CTL_BYTE_RATE, 0), 176128);
  // Play still reads on across the gap.
  const Bytes video = pull_video(65536);
  EXPECT_EQ(video.size(), 4000u);
}

TEST_F(DemuxEdge, SelectionCommands) {
  StreamBuilder b;
  for (int i = 0; i < 8; ++i) {
    b.pack(true, 900 * i);
    b.mpeg2_packet(0xE0, pattern(300, i));
    b.private1(0x81, pattern(200, i));
    b.private1(0x80, pattern(200, i + 50));
    b.private1(0x22, Bytes{0x00, 0x08, 0x00, 0x06, 1, 2, 3, 4});
    b.private1(0x20, Bytes{0x00, 0x08, 0x00, 0x06, 5, 6, 7, 8});
  }
  open(write_file(scratch("select.vob"), b.data()));
  EXPECT_EQ(SysControl(CTL_AUDIO_COUNT, 0), 2);
  EXPECT_EQ(audio_ids(), (std::vector<int32_t>{0x80, 0x81}));
  const auto first = SysControl(CTL_AUDIO_CURRENT, 0);
  EXPECT_EQ(first, 0x81) << "the first stored packet fixes the selection";
  SysControl(CTL_AUDIO_SELECT, 0x7F);  // not seen: ignored
  EXPECT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), 0x81);
  SysControl(CTL_AUDIO_PREFER, 0x90);
  SysControl(CTL_AUDIO_PREFER_ADD, 0x80);
  uint8_t buf[100];
  EXPECT_EQ(SysReadStream(0x80, buf, 100), 0) << "0x81 is still selected";
  EXPECT_EQ(SysReadStream(0x81, buf, 100), 100) << "the preferred id is applied at this read";
  EXPECT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), 0x80);
  EXPECT_EQ(SysReadStream(0x80, buf, 100), 100);
  EXPECT_EQ(SysControl(CTL_SPU_COUNT, 0), 2);
  SysControl(CTL_SPU_SELECT, 2);
  SysControl(CTL_SPU_ENABLE, 1);
  EXPECT_EQ(SysControl(CTL_SPU_CURRENT, 0), 2);
  const auto *numbers = reinterpret_cast<const int32_t *>(SysControl(CTL_SPU_LIST, 0));
  EXPECT_EQ(numbers[0], 0);
  EXPECT_EQ(numbers[1], 2);
}

}  // namespace
}  // namespace demux_test
