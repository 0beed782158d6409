// The library through its exports, as the engines and programs call it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/media/fixtures.h"

namespace {

using media_test::Bytes;

class Exports : public testing::Test {
 protected:
  void SetUp() override { SysReset(); }
  void TearDown() override {
    SysClose();
    SysControl(CTL_SET_PROBE_HOOK, 0);
  }
};

Bytes with_fields(const std::string &name, Bytes fields) {
  Bytes b(name.begin(), name.end());
  b.push_back(0);
  b.insert(b.end(), fields.begin(), fields.end());
  return b;
}

Bytes joined(int32_t sectors) {
  Bytes f = {1, 3};
  media_test::put_le32(f, 1000);
  media_test::put_le32(f, uint32_t(sectors));
  return with_fields("/disc/VIDEO_TS/VTS_01_X.VOB", f);
}

TEST_F(Exports, ProbesSpecialNamesAndShortcuts) {
  const std::string dir = testing_support::scratch_dir();
  Bytes garbage(5000, 0x11);
  const std::string vob = media_test::write_file("title.vob", garbage);
  const std::string avi = media_test::write_file("clip.AVI", garbage);
  const std::string mpg = media_test::write_file("mixed.mpg", garbage);
  struct Case {
    const char *what;
    Bytes buffer;
    SourceKind kind;
    int32_t length;  // -2: not checked
  } cases[] = {
      {"joined set of 4,000,000 sectors", joined(4000000), SOURCE_KIND_SYSTEM, 1876000000},
      {"joined set of 1,000,000 sectors", joined(1000000), SOURCE_KIND_SYSTEM, 2048000000},
      {"joined set without its fields", with_fields("/disc/VIDEO_TS/VTS_01_X.VOB", {1, 3, 0}),
       SOURCE_KIND_CANNOT_OPEN, -2},
      {"track.player in any case", with_fields("tRACK.pLAYER", {0, 1}), SOURCE_KIND_SYSTEM, 0},
      {"Track.Player without its fields", with_fields("Track.Player", {}), SOURCE_KIND_CANNOT_OPEN, -2},
      {"DVB stream without the DVB library", with_fields("DVBStream.DVB", {}), SOURCE_KIND_NOTHING, -2},
      {".VOB files are not inspected", with_fields(vob, {}), SOURCE_KIND_SYSTEM, 5000},
      {"missing .VOB", with_fields(dir + "/none.VOB", {}), SOURCE_KIND_CANNOT_OPEN, -2},
      {"an AVI the AVI reader refuses goes through the content probe", with_fields(avi, {}),
       SOURCE_KIND_NOTHING, 5000},
      {"plain garbage", with_fields(mpg, {}), SOURCE_KIND_NOTHING, 5000},
      {"missing file", with_fields(dir + "/none.mpg", {}), SOURCE_KIND_CANNOT_OPEN, -2},
      {"empty name", with_fields("", {}), SOURCE_KIND_CANNOT_OPEN, -2},
  };
  for (const Case &c : cases) {
    int32_t length = -2;
    EXPECT_EQ(SysProbeBuffer(c.buffer.data(), int32_t(c.buffer.size()), &length), c.kind) << c.what;
    if (c.length != -2) {
      EXPECT_EQ(length, c.length) << c.what;
    }
  }
}

TEST_F(Exports, PlainStringsNeverReachBinaryFields) {
  // A bare "Track.Player" has no drive and track bytes after it: refused,
  // not read past its end.
  EXPECT_EQ(SysProbe("Track.Player", nullptr), SOURCE_KIND_CANNOT_OPEN);
  EXPECT_EQ(SysProbe("/x/VTS_01_X.VOB", nullptr), SOURCE_KIND_CANNOT_OPEN);
  EXPECT_EQ(SysOpen("Track.Player", 0), -1);
  EXPECT_EQ(SysProbe(nullptr, nullptr), SOURCE_KIND_CANNOT_OPEN);
  EXPECT_EQ(SysOpen(nullptr, 0), -1);
  const char no_nul[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(SysProbeBuffer(no_nul, 4, nullptr), SOURCE_KIND_CANNOT_OPEN);
  EXPECT_EQ(SysProbeBuffer(no_nul, -1, nullptr), SOURCE_KIND_CANNOT_OPEN);
  EXPECT_EQ(SysFileSize(nullptr), -1);
}

TEST_F(Exports, LongPathsAreHandledSafely) {
  std::string path = testing_support::scratch_dir() + "/" + std::string(5000, 'a') + ".mpg";
  EXPECT_EQ(SysProbe(path.c_str(), nullptr), SOURCE_KIND_CANNOT_OPEN);
  EXPECT_EQ(SysOpen(path.c_str(), 0), -1);
  EXPECT_EQ(SysFileSize(path.c_str()), -1);
  std::string vts = std::string(4000, 'b') + "/VTS_01_X.VOB";
  Bytes b = with_fields(vts, {1, 2, 0, 0, 0, 0, 10, 0, 0, 0});
  int32_t len = 0;
  EXPECT_EQ(SysProbeBuffer(b.data(), int32_t(b.size()), &len), SOURCE_KIND_SYSTEM);
  EXPECT_EQ(len, 20480);
  EXPECT_EQ(SysControl(CTL_SET_OUTPUT_DIR, reinterpret_cast<intptr_t>(path.c_str())), 0);
}

TEST_F(Exports, HeaderWordOfTheLastAudioProbe) {
  Bytes mp2;
  for (int i = 0; i < 4; ++i) {
    media_test::append(mp2, {0xFF, 0xFD, 0x84, 0xC4});
    media_test::fill(mp2, 400, 0x11);
  }
  const std::string path = media_test::write_file("short.mp2", mp2);
  int32_t length = 0;
  EXPECT_EQ(SysProbe(path.c_str(), &length), SOURCE_KIND_AUDIO);
  EXPECT_EQ(length, int32_t(mp2.size()));
  EXPECT_EQ(SysControl(CTL_AUDIO_HEADER, 0), 0xFFFD);
}

int32_t g_hook_calls = 0;
int32_t hook(const char *, int32_t *size, int32_t *word) {
  ++g_hook_calls;
  *size = 1234;
  *word = 0xFFF3;
  return SOURCE_KIND_AUDIO;
}

TEST_F(Exports, ProbeHookAnswersFirst) {
  g_hook_calls = 0;
  SysControl(CTL_SET_PROBE_HOOK, reinterpret_cast<intptr_t>(&hook));
  int32_t length = 0;
  EXPECT_EQ(SysProbe("/nowhere/at/all.mpg", &length), SOURCE_KIND_AUDIO);
  EXPECT_EQ(length, 1234);
  EXPECT_EQ(g_hook_calls, 1);
  EXPECT_EQ(SysControl(CTL_AUDIO_HEADER, 0), 0xFFF3);
}

TEST_F(Exports, UnknownControlCommandsAnswerZeroAndChangeNothing) {
  const std::string path = media_test::write_file("ctl.mpg", Bytes(70000, 0x11));
  ASSERT_GE(SysOpen(path.c_str(), 0), 0);
  auto snapshot = [] {
    return std::vector<intptr_t>{SysControl(CTL_SOURCE_HANDLE, 0),
                                 SysControl(CTL_SOURCE_SIZE, 0),
                                 SysControl(CTL_AUDIO_CURRENT, 0),
                                 SysControl(CTL_BYTE_RATE, 0),
                                 SysControl(CTL_AT_END, 0),
                                 SysControl(CTL_SEGMENT_BEGIN, 0),
                                 SysSeek(0, 1),
                                 SysControl(CTL_ANGLE_CURRENT, 0),
                                 SysControl(CTL_SPU_CURRENT, 0),
                                 SysControl(CTL_IS_DVD, 0)};
  };
  const auto before = snapshot();
  for (int32_t cmd : {36, 37, 47, 57, 71, 87, 88, 100, 255, 1000, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(SysControl(cmd, 12345), 0) << cmd;
    EXPECT_EQ(SysControl(cmd, -1), 0) << cmd;
  }
  EXPECT_EQ(snapshot(), before);
}

TEST_F(Exports, ControlDefaults) {
  EXPECT_EQ(SysControl(CTL_SET_SEGMENT_START, 77), 77);
  EXPECT_EQ(SysControl(CTL_SET_SEGMENT_END, 99), 99);
  EXPECT_GE(SysControl(CTL_BYTE_RATE, 0), 1);  // 1 while the rate is unknown
  EXPECT_EQ(SysControl(CTL_SOURCE_HANDLE, 0), -1);
  EXPECT_EQ(SysControl(CTL_SECTOR_READY, 0), 0);  // no drive layer
  EXPECT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), -1);
  EXPECT_EQ(SysControl(CTL_SPU_CURRENT, 0), -1);
  EXPECT_EQ(SysControl(CTL_DOOR_OPEN, 3), 1);
  EXPECT_EQ(SysControl(CTL_EXTRACT_OPEN, reinterpret_cast<intptr_t>("x")), -1);
  EXPECT_EQ(SysControl(CTL_ANGLE_SELECT, 4), 0);
  EXPECT_EQ(SysControl(CTL_ANGLE_CURRENT, 0), 4);
  SysControl(CTL_ANGLE_SELECT, 10);
  EXPECT_EQ(SysControl(CTL_ANGLE_CURRENT, 0), 4);
  SysControl(CTL_ANGLE_SELECT, 0);
  EXPECT_NE(SysControl(CTL_DRIVE_ENTRY, 0), 0);
  auto *table = reinterpret_cast<const DravikSpuTable *>(SysControl(CTL_SPU_TABLE, 0));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->count, 0);
  EXPECT_EQ(
      reinterpret_cast<const char *>(SysControl(CTL_SPU_LIST, 0)) - reinterpret_cast<const char *>(table), 8);
  intptr_t sink = SysControl(CTL_ADD_SINK, 5);
  ASSERT_NE(sink, 0);
  EXPECT_EQ(SysControl(CTL_ADD_SINK, 5), 0);
  auto *k = reinterpret_cast<StreamSink *>(sink);
  EXPECT_EQ(k->table->stream_number(k), 5);
  EXPECT_EQ(SysControl(CTL_REMOVE_SINK, 5), 0);
  EXPECT_NE(SysControl(CTL_ADD_SINK, 5), 0);
  SysControl(CTL_REMOVE_SINK, 5);
}

TEST_F(Exports, StubsOverheadAndReservedWord) {
  EXPECT_EQ(SysStubA(1, 42), 42);
  EXPECT_EQ(SysStubB(1, -7), -7);
  EXPECT_EQ(SysStubC(1, 2), 0);
  EXPECT_EQ(SysStubD(1, 2), 0);
  EXPECT_EQ(SysReserved42(), 0);
  const std::string path = media_test::write_file("ovh.mpg", Bytes(1000, 0x11));
  ASSERT_GE(SysOpen(path.c_str(), 0), 0);
  EXPECT_EQ(SysGetPackOverhead(), 0u);
}

TEST_F(Exports, AvailabilityCountersAreHandedOut) {
  const volatile int32_t *video = nullptr;
  const volatile int32_t *audio = nullptr;
  EXPECT_EQ(SysVideoAvail(&video), 0);
  EXPECT_EQ(SysAudioAvail(&audio), 0);
  ASSERT_NE(video, nullptr);
  ASSERT_NE(audio, nullptr);
  EXPECT_NE(video, audio);
  EXPECT_EQ(*video, 0);
  EXPECT_EQ(SysVideoAvail(nullptr), 0);
  const volatile int32_t *again = nullptr;
  SysVideoAvail(&again);
  EXPECT_EQ(again, video);  // one stored counter for the life of the library
}

TEST_F(Exports, RawVideoReadsThroughTheExports) {
  Bytes data(40000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 3);
  const std::string path = media_test::write_file("raw_export.m1v", data);
  ASSERT_GE(SysOpen(path.c_str(), DRAVIK_START_RAW_VIDEO), 0);
  Bytes got, buf(16384);
  int32_t n;
  while ((n = SysReadVideo(buf.data(), 16384)) > 0) got.insert(got.end(), buf.begin(), buf.begin() + n);
  EXPECT_EQ(got, data);
  EXPECT_EQ(SysReadAudio(buf.data(), 16), 0);
  EXPECT_EQ(SysSeek(0, 1), 40000);
  EXPECT_EQ(SysSeek(0, 0), 0);
  EXPECT_EQ(SysReadVideo(buf.data(), 8), 8);
  EXPECT_EQ(buf[5], data[5]);
}

std::vector<intptr_t> g_items;
void collect(void *item) { g_items.push_back(reinterpret_cast<intptr_t>(item)); }

TEST_F(Exports, CallbackQueueThroughTheExports) {
  g_items.clear();
  SysQueueCallback(collect, reinterpret_cast<void *>(1));
  SysQueueCallback(collect, reinterpret_cast<void *>(2));
  EXPECT_EQ(SysRunCallbacks(100), 0);  // nothing runs while the audio ring is empty
  EXPECT_EQ(SysControl(CTL_QUEUE_TAKE, 0), 1);
  EXPECT_EQ(SysFlush(DRAVIK_FLUSH_QUEUE), DRAVIK_FLUSH_QUEUE);
  EXPECT_EQ(SysControl(CTL_QUEUE_TAKE, 0), 0);
  EXPECT_TRUE(g_items.empty());
}

TEST_F(Exports, OrdinalLookup) {
  EXPECT_EQ(DravikProc(30), nullptr);
  EXPECT_EQ(DravikProc(72), nullptr);
  EXPECT_EQ(DravikProc(-1), nullptr);
  EXPECT_EQ(DravikProc(31), reinterpret_cast<void *>(SysClose));
  EXPECT_EQ(DravikProc(38), reinterpret_cast<void *>(SysOpen));
  EXPECT_EQ(DravikProc(46), reinterpret_cast<void *>(SysProbe));
  EXPECT_EQ(DravikProc(51), reinterpret_cast<void *>(SysControl));
  EXPECT_EQ(DravikProc(52), reinterpret_cast<void *>(SysReadStream));
  EXPECT_EQ(DravikProc(55), reinterpret_cast<void *>(SysAviProbe));
  EXPECT_EQ(DravikProc(71), reinterpret_cast<void *>(SysAviAtEnd));
  for (int ord = 31; ord <= 71; ++ord) EXPECT_NE(DravikProc(ord), nullptr) << ord;
  auto control = reinterpret_cast<intptr_t (*)(int32_t, intptr_t)>(DravikProc(51));
  EXPECT_EQ(control(CTL_SET_SEGMENT_START, 5), 5);
}

TEST_F(Exports, AviFamilyAnswersNone) {
  int32_t ms = 9;
  EXPECT_EQ(SysAviProbe("/x.avi", &ms), 3);
  EXPECT_EQ(SysAviVideoCount(), 0);
  EXPECT_EQ(SysAviSelectVideo(0), nullptr);
  EXPECT_EQ(SysAviAudioClock(), -1);
  EXPECT_EQ(SysAviAtEnd(), 1);
  EXPECT_NE(SysAviVideoStreams(), nullptr);
}

}  // namespace
