// Ring mechanics of the read exports: wrap, the remainder rule, the picture
// mark, path modes, the stream rules of the audio reads, the callback queue
// and the reset defaults.
#include "media/rings/reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

#include "media/exports/control.h"
#include "media/exports/frame.h"
#include "media/state.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes counting(size_t n, uint8_t start = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(start + i * 7);
  return b;
}

class Reader : public testing::Test {
 protected:
  std::unique_ptr<dravik::State> s = std::make_unique<dravik::State>();
};

TEST_F(Reader, CopiesAcrossTheWrap) {
  const uint32_t size = s->rings.video.size();
  s->rings.video.set_write_index(size - 1000);
  s->rings.video.set_read_index(size - 1000);
  Bytes in = counting(5000);
  s->rings.video.write(in.data(), 5000);
  EXPECT_EQ(s->rings.video.write_index(), 4000u);
  EXPECT_EQ(s->rings.video.available(), 5000u);
  Bytes out(5000);
  EXPECT_EQ(dravik::read_video(*s, out.data(), 5000), 5000);
  EXPECT_EQ(out, in);
  EXPECT_EQ(s->rings.video.available(), 0u);
  EXPECT_EQ(s->rings.video_avail_stored, 0);
}

TEST_F(Reader, RemainderIsRoundedUpToFourThenZero) {
  Bytes in = counting(10);
  s->rings.video.write(in.data(), 10);
  Bytes out(16, 0xEE);
  EXPECT_EQ(dravik::read_video(*s, out.data(), 16), 12);
  EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
  EXPECT_EQ(out[10], 0);
  EXPECT_EQ(out[11], 0);
  EXPECT_EQ(out[12], 0xEE);  // nothing written past the rounded count
  EXPECT_EQ(s->rings.video.read_index(), 0u);
  EXPECT_EQ(s->rings.video.write_index(), 0u);
  EXPECT_EQ(dravik::read_video(*s, out.data(), 16), 0);
}

TEST_F(Reader, RemainderNeverExceedsTheRequest) {
  Bytes in = counting(5);
  s->rings.audio.write(in.data(), 5);
  Bytes out(8, 0xEE);
  EXPECT_EQ(dravik::read_audio(*s, out.data(), 6), 6);
  EXPECT_EQ(out[5], 0);
  EXPECT_EQ(out[6], 0xEE);
}

TEST_F(Reader, PictureMarkSplitsTheRead) {
  Bytes in = counting(100, 0x20);
  for (auto &b : in) b |= 0x10;  // no start code inside
  in.insert(in.end(), {0x00, 0x00, 0x01, 0x00, 0x12, 0x34});
  Bytes tail = counting(8000, 0x40);
  for (auto &b : tail) b |= 0x10;
  in.insert(in.end(), tail.begin(), tail.end());
  s->rings.video.write(in.data(), static_cast<uint32_t>(in.size()));

  ASSERT_EQ(dravik::find_picture(*s), 1);
  Bytes out(4096, 0xEE);
  EXPECT_EQ(dravik::read_video(*s, out.data(), 4096), 4096);
  EXPECT_TRUE(std::equal(in.begin(), in.begin() + 100, out.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 100, out.end(), [](uint8_t b) { return b == 0; }));

  EXPECT_EQ(dravik::read_video(*s, out.data(), 4096), 4096);
  EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 100, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(in.begin() + 100, in.begin() + 4096, out.begin() + 100));
}

TEST_F(Reader, SequenceEndIsMarkedPastItsCode) {
  Bytes in = {0x55, 0x55, 0x00, 0x00, 0x01, 0xB7, 0x66, 0x66};
  s->rings.video.write(in.data(), 8);
  ASSERT_EQ(dravik::find_picture(*s), 1);
  EXPECT_EQ(s->rings.picture_mark, 6);
}

TEST_F(Reader, FindsAStartCodeStraddlingTheWrap) {
  const uint32_t size = s->rings.video.size();
  s->rings.video.set_write_index(size - 2);
  s->rings.video.set_read_index(size - 2);
  Bytes in = {0x00, 0x00, 0x01, 0x00, 0x77};
  s->rings.video.write(in.data(), 5);
  ASSERT_EQ(dravik::find_picture(*s), 1);
  EXPECT_EQ(s->rings.picture_mark, size - 2);
}

TEST_F(Reader, NoPictureMeansNoMark) {
  Bytes in = {0x00, 0x00, 0x01, 0xB3, 0x00, 0x00, 0x01};
  s->rings.video.write(in.data(), 7);
  EXPECT_EQ(dravik::find_picture(*s), 0);
  EXPECT_EQ(s->rings.picture_mark, -1);
}

TEST_F(Reader, VideoPathOffKeepsAudioWorking) {
  Bytes in = counting(64);
  s->rings.video.write(in.data(), 64);
  s->rings.audio.write(in.data(), 64);
  EXPECT_EQ(dravik::flush(*s, 2), 2);
  EXPECT_EQ(s->rings.video.available(), 0u);
  Bytes out(32);
  EXPECT_EQ(dravik::read_video(*s, out.data(), 32), 0);
  EXPECT_EQ(dravik::read_audio(*s, out.data(), 32), 32);
  EXPECT_EQ(dravik::flush(*s, 0), 0);
  EXPECT_EQ(s->rings.audio.available(), 32u);  // re-enabling discards nothing
  s->rings.video.write(in.data(), 64);
  EXPECT_EQ(dravik::read_video(*s, out.data(), 32), 32);
}

TEST_F(Reader, FlushValues) {
  Bytes in = counting(64);
  s->rings.audio.write(in.data(), 64);
  s->queue.push(nullptr, nullptr);
  EXPECT_EQ(dravik::flush(*s, 10), 10);
  EXPECT_TRUE(s->queue.empty());
  EXPECT_EQ(s->rings.audio.available(), 64u);
  EXPECT_EQ(dravik::flush(*s, 20), 20);
  EXPECT_EQ(s->rings.audio.available(), 0u);
  EXPECT_EQ(s->path_mode.load(), 0);
  EXPECT_EQ(dravik::flush(*s, 7), 7);
  EXPECT_EQ(s->path_mode.load(), 7);
  Bytes out(16);
  s->rings.audio.write(in.data(), 64);
  EXPECT_EQ(dravik::flush(*s, 1), 1);
  EXPECT_EQ(dravik::read_audio(*s, out.data(), 16), 0);
}

TEST_F(Reader, AudioReadsFollowTheSelectedStream) {
  Bytes in = counting(64);
  Bytes out(16);
  s->rings.audio.write(in.data(), 64);
  s->select.audio_id = 0x80;  // AC-3
  EXPECT_EQ(dravik::read_audio(*s, out.data(), 16), 0);
  EXPECT_EQ(dravik::read_stream(*s, 0x81, out.data(), 16), 0);
  EXPECT_EQ(dravik::read_stream(*s, 0x80, out.data(), 16), 16);
  s->select.audio_id = 0xC1;
  EXPECT_EQ(dravik::read_audio(*s, out.data(), 16), 16);
  s->select.audio_id = -1;
  EXPECT_EQ(dravik::read_stream(*s, 0xA0, out.data(), 16), 16);
  EXPECT_EQ(dravik::read_audio(*s, nullptr, 16), 0);
  EXPECT_EQ(dravik::read_video(*s, nullptr, 16), 0);
}

std::vector<intptr_t> g_seen;
void record(void *item) { g_seen.push_back(reinterpret_cast<intptr_t>(item)); }

TEST_F(Reader, CallbacksRunInOrderWhileAudioIsPresent) {
  g_seen.clear();
  for (intptr_t i = 1; i <= 3; ++i) dravik::queue_callback(*s, record, reinterpret_cast<void *>(i));
  EXPECT_EQ(dravik::run_callbacks(*s, 50), 0);  // no audio yet: nothing runs
  EXPECT_TRUE(g_seen.empty());
  uint8_t b[4] = {1, 2, 3, 4};
  s->rings.audio.write(b, 4);
  EXPECT_EQ(dravik::run_callbacks(*s, 0), 0);
  dravik::flush(*s, 7);
  s->path_mode.store(1);
  EXPECT_EQ(dravik::run_callbacks(*s, 50), 0);
  s->path_mode.store(0);
  dravik::run_callbacks(*s, 1000);
  EXPECT_EQ(g_seen, (std::vector<intptr_t>{1, 2, 3}));
  EXPECT_TRUE(s->queue.empty());
}

TEST_F(Reader, QueueHoldsAtMost127AndTakeDeliversEachOnce) {
  for (intptr_t i = 1; i <= 127; ++i) EXPECT_TRUE(s->queue.push(record, reinterpret_cast<void *>(i)));
  EXPECT_FALSE(s->queue.push(record, reinterpret_cast<void *>(128)));
  for (intptr_t i = 1; i <= 127; ++i) EXPECT_EQ(dravik::control(*s, CTL_QUEUE_TAKE, 0), i);
  EXPECT_EQ(dravik::control(*s, CTL_QUEUE_TAKE, 0), 0);
  // Indexes wrap modulo 128.
  for (intptr_t i = 1; i <= 200; ++i) {
    EXPECT_TRUE(s->queue.push(record, reinterpret_cast<void *>(i)));
    EXPECT_EQ(dravik::control(*s, CTL_QUEUE_TAKE, 0), i);
  }
}

TEST_F(Reader, ResetRestoresDefaults) {
  Bytes in = counting(64);
  s->rings.video.write(in.data(), 64);
  s->rings.audio.write(in.data(), 64);
  s->rings.picture_mark = 3;
  s->path_mode.store(2);
  s->end.store(true);
  s->select.video_id = 0xE0;
  s->select.audio_id = 0xC0;
  s->select.spu_id = 1;
  s->queue.push(record, nullptr);
  s->parse.valid_bytes = 12;
  dravik::reset_state(*s);
  EXPECT_EQ(s->rings.video.available(), 0u);
  EXPECT_EQ(s->rings.audio.available(), 0u);
  EXPECT_EQ(s->rings.picture_mark, -1);
  EXPECT_EQ(s->path_mode.load(), 0);
  EXPECT_FALSE(s->end.load());
  EXPECT_EQ(s->select.video_id, -1);
  EXPECT_EQ(s->select.audio_id, -1);
  EXPECT_EQ(s->select.spu_id, -1);
  EXPECT_TRUE(s->queue.empty());
  EXPECT_EQ(s->parse.valid_bytes, 0);
  EXPECT_EQ(s->source.handle, -1);
  EXPECT_EQ(s->settings.reserved42, 0);
}

}  // namespace
