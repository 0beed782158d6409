// The null output device against the wave-device contract.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "audio/output/audio_device.h"

namespace {

using namespace lunaret;

struct DoneLog {
  std::mutex m;
  std::condition_variable cv;
  std::vector<AudioWaveHeader *> done;
  static void on_done(void *ctx, AudioWaveHeader *h) {
    auto *log = static_cast<DoneLog *>(ctx);
    EXPECT_TRUE(h->flags & AUDIO_WHDR_DONE);
    {
      std::lock_guard<std::mutex> lock(log->m);
      log->done.push_back(h);
    }
    log->cv.notify_all();
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(m);
    return done.size();
  }
  /// Sleeps until n buffers are back, at most `bound`; -> whether they are.
  bool wait_for(size_t n, std::chrono::milliseconds bound = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, bound, [&] { return done.size() >= n; });
  }
};

struct Buffers {
  std::array<std::vector<char>, 8> data;
  std::array<AudioWaveHeader, 8> h{};
  explicit Buffers(uint32_t bytes) {
    for (size_t i = 0; i < h.size(); ++i) {
      data[i].assign(bytes, static_cast<char>(i));
      h[i].data = data[i].data();
      h[i].buffer_length = bytes;
      h[i].bytes_recorded = bytes;
    }
  }
};

TEST(NullDevice, RefusesFormatsOutsideTheContract) {
  const struct {
    int channels, bits;
    uint32_t rate;
    bool ok;
  } cases[] = {{1, 16, 44100, true},  {2, 8, 22050, true},   {8, 16, 48000, true},  {6, 16, 44100, true},
               {0, 16, 44100, false}, {9, 16, 44100, false}, {2, 24, 44100, false}, {2, 16, 0, false}};
  for (const auto &c : cases) {
    PcmFormat f = make_pcm_format(c.channels, c.rate, c.bits);
    EXPECT_EQ(kNullOutputDriver.query(f), c.ok) << c.channels << "ch " << c.bits << "bit " << c.rate;
    DoneLog log;
    int result = -1;
    auto dev = AudioDevice::open(kNullOutputDriver, f, DoneLog::on_done, &log, &result);
    EXPECT_EQ(dev != nullptr, c.ok);
    EXPECT_EQ(result == kDeviceOk, c.ok);
  }
  // AC-3 bursts: 2 channels of 16 bits at 48 kHz only.
  PcmFormat spdif = make_pcm_format(2, 48000, 16);
  spdif.format_tag = kFormatAc3Spdif;
  EXPECT_TRUE(kNullOutputDriver.query(spdif));
  spdif.rate = 44100;
  EXPECT_FALSE(kNullOutputDriver.query(spdif));
}

TEST(NullDevice, UntimedReturnsEveryBufferOnceInOrderAndCountsPosition) {
  DoneLog log;
  auto dev =
      AudioDevice::open(kNullUntimedOutputDriver, make_pcm_format(2, 44100, 16), DoneLog::on_done, &log);
  ASSERT_TRUE(dev);
  Buffers b(4410 * 4);  // 100 ms each
  EXPECT_EQ(dev->write(&b.h[0]), kDeviceUnprepared);
  for (auto &h : b.h) ASSERT_EQ(dev->prepare(&h), kDeviceOk);
  for (auto &h : b.h) ASSERT_EQ(dev->write(&h), kDeviceOk);
  ASSERT_TRUE(log.wait_for(b.h.size()));
  for (size_t i = 0; i < b.h.size(); ++i) EXPECT_EQ(log.done[i], &b.h[i]);
  EXPECT_EQ(dev->position(TimeType::bytes).value, 8u * 4410 * 4);
  EXPECT_EQ(dev->position(TimeType::samples).value, 8u * 4410);
  EXPECT_EQ(dev->position(TimeType::ms).value, 800u);
  EXPECT_EQ(dev->close(), kDeviceOk);
}

TEST(NullDevice, ResetReturnsWrittenBuffersAndRewindsThePosition) {
  DoneLog log;
  auto dev = AudioDevice::open(kNullOutputDriver, make_pcm_format(2, 8000, 16), DoneLog::on_done, &log);
  ASSERT_TRUE(dev);
  Buffers b(8000 * 4 * 10);  // ten seconds each: none finishes on its own here
  for (auto &h : b.h) {
    dev->prepare(&h);
    ASSERT_EQ(dev->write(&h), kDeviceOk);
  }
  EXPECT_EQ(dev->write(&b.h[0]), kDeviceError) << "a buffer the device holds cannot be written again";
  EXPECT_EQ(dev->close(), kDeviceStillPlaying);
  uint32_t before = dev->position(TimeType::bytes).value;
  EXPECT_LE(before, b.h[0].bytes_recorded);
  EXPECT_EQ(dev->reset(), kDeviceOk);
  ASSERT_EQ(log.count(), b.h.size()) << "reset returns before every buffer is back";
  for (size_t i = 0; i < b.h.size(); ++i) EXPECT_EQ(log.done[i], &b.h[i]);
  EXPECT_EQ(dev->position(TimeType::bytes).value, 0u);
  EXPECT_EQ(dev->close(), kDeviceOk);
}

TEST(NullDevice, PauseHoldsBuffersUntilRestart) {
  DoneLog log;
  auto dev =
      AudioDevice::open(kNullUntimedOutputDriver, make_pcm_format(1, 22050, 8), DoneLog::on_done, &log);
  ASSERT_TRUE(dev);
  Buffers b(2205);
  ASSERT_EQ(dev->pause(), kDeviceOk);
  for (auto &h : b.h) {
    dev->prepare(&h);
    dev->write(&h);
  }
  // A device that plays while paused returns a buffer within this look.
  EXPECT_FALSE(log.wait_for(1, std::chrono::milliseconds(20)));
  EXPECT_EQ(dev->position(TimeType::bytes).value, 0u);
  ASSERT_EQ(dev->restart(), kDeviceOk);
  ASSERT_TRUE(log.wait_for(b.h.size()));
  EXPECT_EQ(dev->position(TimeType::ms).value, 800u);
}

TEST(NullDevice, TimedPlaybackAdvancesWithinWhatWasWritten) {
  DoneLog log;
  auto dev = AudioDevice::open(kNullOutputDriver, make_pcm_format(2, 48000, 16), DoneLog::on_done, &log);
  ASSERT_TRUE(dev);
  Buffers b(480 * 4);  // 10 ms each
  uint32_t total = 0;
  for (auto &h : b.h) {
    dev->prepare(&h);
    dev->write(&h);
    total += h.bytes_recorded;
  }
  uint32_t last = 0;
  while (log.count() < b.h.size()) {
    uint32_t p = dev->position(TimeType::bytes).value;
    ASSERT_GE(p, last);
    ASSERT_LE(p, total);
    last = p;
    // The position is sampled between the buffers' returns too.
    log.wait_for(log.count() + 1, std::chrono::milliseconds(1));
  }
  EXPECT_EQ(dev->position(TimeType::bytes).value, total) << "a starved device stops at the end of its data";
  for (size_t i = 0; i < b.h.size(); ++i) EXPECT_EQ(log.done[i], &b.h[i]);
}

TEST(NullDevice, VolumeWord) {
  DoneLog log;
  auto dev = AudioDevice::open(kNullOutputDriver, make_pcm_format(2, 44100, 16), DoneLog::on_done, &log);
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->volume(), 0xFFFFFFFFu);
  dev->set_volume(0x8000C000u);
  EXPECT_EQ(dev->volume(), 0x8000C000u);
}

}  // namespace
