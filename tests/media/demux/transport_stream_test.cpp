// Transport streams: PAT and PMT name the PIDs, PES packets are rebuilt
// from the TS payloads (also when one is larger than its PID's buffer) and
// delivered whole; a piecewise rate gives the byte rate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/demux/demux_info.h"
#include "media/media_api.h"
#include "tests/media/demux/stream_builder.h"
#include "tests/support/test_media.h"

namespace demux_test {
namespace {

constexpr int kPmtPid = 0x1000, kVideoPid = 0x100, kAudioPid = 0x101;

Bytes pes(int id, const Bytes &payload, bool unbounded) {
  Bytes p = {0x00, 0x00, 0x01, static_cast<uint8_t>(id), 0, 0, 0x80, 0x00, 0x00};
  if (!unbounded) {
    const size_t n = payload.size() + 3;
    p[4] = static_cast<uint8_t>(n >> 8);
    p[5] = static_cast<uint8_t>(n);
  }
  p.insert(p.end(), payload.begin(), payload.end());
  return p;
}

// A packet of the PID holding only an adaptation field whose extension
// carries a piecewise rate (50-byte units).
Bytes piecewise_rate_packet(int pid, uint32_t rate) {
  Bytes p(188, 0xFF);
  p[0] = 0x47;
  p[1] = static_cast<uint8_t>(pid >> 8);
  p[2] = static_cast<uint8_t>(pid);
  p[3] = 0x20;  // adaptation field only
  p[4] = 183;
  p[5] = 0x01;  // extension flag
  p[6] = 4;     // extension length
  p[7] = 0x40 | 0x1F;
  p[8] = static_cast<uint8_t>(0xC0 | (rate >> 16));
  p[9] = static_cast<uint8_t>(rate >> 8);
  p[10] = static_cast<uint8_t>(rate);
  return p;
}

Bytes pull(int32_t (*read)(void *, int32_t)) {
  Bytes out;
  std::vector<uint8_t> buf(16384);
  for (;;) {
    const int32_t n = read(buf.data(), 16384);
    if (n <= 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
    if (n < 16384) break;
  }
  return out;
}

Bytes unpadded(Bytes got, size_t want) {
  if (got.size() > want && got.size() - want < 4) got.resize(want);
  return got;
}

class TransportStream : public ::testing::Test {
 protected:
  void TearDown() override {
    SysFlush(0);
    SysClose();
  }
};

// A video PES of unbounded length larger than the 1 MiB video PID buffer and
// an audio PES larger than the 64 KiB audio PID buffer arrive whole, split
// into rebuilt packets, followed by the ordinary packets after them.
TEST_F(TransportStream, PesPacketsLargerThanTheirBuffersArriveWhole) {
  const Bytes v1 = pattern(1536 * 1024 + 77, 1), v2 = pattern(1000, 2);
  const Bytes a1 = pattern(100 * 1024 + 5, 3), a2 = pattern(500, 4);
  Bytes ts;
  ts_packets(ts, 0, ts_pat(kPmtPid), true);
  ts_packets(ts, kPmtPid, ts_pmt({{2, kVideoPid}, {3, kAudioPid}}), true);
  for (const Bytes &p : {piecewise_rate_packet(kVideoPid, 9000), piecewise_rate_packet(kAudioPid, 1000)})
    ts.insert(ts.end(), p.begin(), p.end());
  ts_packets(ts, kAudioPid, pes(0xC0, a1, true));
  ts_packets(ts, kVideoPid, pes(0xE0, v1, true));
  ts_packets(ts, kAudioPid, pes(0xC0, a2, false));
  ts_packets(ts, kVideoPid, pes(0xE0, v2, false));
  const std::string path = write_file(testing_support::scratch_dir() + "/big_pes.ts", ts);

  ASSERT_NE(SysOpen(path.c_str(), 0), -1);
  DravikDemuxInfo info;
  ASSERT_EQ(DravikGetDemuxInfo(&info), 1);
  EXPECT_EQ(info.transport, 1);
  EXPECT_EQ(SysControl(CTL_BYTE_RATE, 0), 10000 * 50) << "the sum of the piecewise rates";
  EXPECT_EQ(SysControl(CTL_RATE_VALID, 0), 1);
  SysFlush(1);
  Bytes want = v1;
  want.insert(want.end(), v2.begin(), v2.end());
  const Bytes got = pull(SysReadVideo);
  EXPECT_EQ(got.size(), (want.size() + 3) & ~size_t{3});
  EXPECT_TRUE(unpadded(got, want.size()) == want);

  SysClose();
  ASSERT_NE(SysOpen(path.c_str(), 0), -1);
  SysFlush(2);
  want = a1;
  want.insert(want.end(), a2.begin(), a2.end());
  EXPECT_TRUE(unpadded(pull(SysReadAudio), want.size()) == want);
}

// Lost sync (stray bytes between packets) is found again on two 0x47 bytes
// 188 apart; a stream without tables yields nothing.
TEST_F(TransportStream, StrayBytesAndMissingTables) {
  const Bytes v = pattern(50000, 9);
  Bytes ts;
  ts_packets(ts, 0, ts_pat(kPmtPid), true);
  ts_packets(ts, kPmtPid, ts_pmt({{1, kVideoPid}}), true);
  Bytes video;
  ts_packets(video, kVideoPid, pes(0xE0, v, false));
  // Three stray bytes after every 50th packet.
  for (size_t i = 0; i < video.size(); i += 188) {
    ts.insert(ts.end(), video.begin() + static_cast<long>(i), video.begin() + static_cast<long>(i + 188));
    if ((i / 188) % 50 == 49) ts.insert(ts.end(), {0x47, 0x12, 0x34});
  }
  ts_packets(ts, kVideoPid, pes(0xE0, pattern(10, 10), false));
  const std::string path = write_file(testing_support::scratch_dir() + "/stray.ts", ts);
  ASSERT_NE(SysOpen(path.c_str(), 0), -1);
  EXPECT_TRUE(unpadded(pull(SysReadVideo), v.size() + 10) == [&] {
    Bytes w = v;
    const Bytes tail = pattern(10, 10);
    w.insert(w.end(), tail.begin(), tail.end());
    return w;
  }());
  SysClose();

  Bytes bare;
  ts_packets(bare, kVideoPid, pes(0xE0, v, false));
  const std::string bare_path = write_file(testing_support::scratch_dir() + "/bare.ts", bare);
  ASSERT_NE(SysOpen(bare_path.c_str(), 0), -1);
  uint8_t buf[64];
  EXPECT_EQ(SysReadVideo(buf, 64), 0);
}

}  // namespace
}  // namespace demux_test
