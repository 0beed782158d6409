// What reaches the sound card, captured by SDL's disk driver: the engine's
// blocks byte for byte, volume, echo and a reset that neither loses nor
// repeats a buffer; and the equaliser on the engine's way to the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "audio/engine.h"
#include "tests/audio/engine/fake_media.h"
#include "tests/audio/engine/test_source.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace {

using lunaret::engine;
using lunaret::Engine;
using lunaret_test::counting_source;
using lunaret_test::counting_value;
using lunaret_test::fake_media;

std::string capture_path();

std::vector<int16_t> read_capture() {
  // One read of the whole file: it grows by megabytes while the device is
  // open, and byte by byte that is slow in a sanitized build.
  const std::vector<uint8_t> b =
      testing_support::read_file_bytes(capture_path()).value_or(std::vector<uint8_t>{});
  std::vector<int16_t> v(b.size() / 2);
  if (!v.empty()) std::memcpy(v.data(), b.data(), v.size() * 2);
  return v;
}

// The capture from the first frame where `head` starts (the device plays
// silence until the first buffer arrives).
std::vector<int16_t> from_first(const std::vector<int16_t> &cap, const std::vector<int16_t> &head,
                                int channels) {
  for (size_t i = 0; i + head.size() <= cap.size(); i += static_cast<size_t>(channels))
    if (std::equal(head.begin(), head.end(), cap.begin() + static_cast<std::ptrdiff_t>(i)))
      return std::vector<int16_t>(cap.begin() + static_cast<std::ptrdiff_t>(i), cap.end());
  return {};
}

// The capture without the silence the device plays when the engine falls
// behind (under load): runs of at least 64 silent frames go. The counting
// source never has more than one zero value in a row.
std::vector<int16_t> without_gaps(const std::vector<int16_t> &cap, int channels) {
  const auto frame = static_cast<std::ptrdiff_t>(channels);
  std::vector<int16_t> out;
  std::ptrdiff_t silent_from = -1;  // start of the run of silent frames, -1 none
  const auto end_run = [&](std::ptrdiff_t at) {
    if (silent_from >= 0 && at - silent_from < 64 * frame)
      out.insert(out.end(), cap.begin() + silent_from, cap.begin() + at);
    silent_from = -1;
  };
  std::ptrdiff_t i = 0;
  for (; i + frame <= static_cast<std::ptrdiff_t>(cap.size()); i += frame) {
    const bool silent =
        std::all_of(cap.begin() + i, cap.begin() + i + frame, [](int16_t v) { return v == 0; });
    if (silent) {
      if (silent_from < 0) silent_from = i;
      continue;
    }
    end_run(i);
    out.insert(out.end(), cap.begin() + i, cap.begin() + i + frame);
  }
  end_run(i);
  return out;
}

std::vector<int16_t> counting_head(bool left_only) {
  std::vector<int16_t> v;
  for (int k = 0; k < 8; ++k) v.push_back(left_only && (k & 1) ? 0 : counting_value(k));
  return v;
}

class SdlCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_media().install();
    counting_source().install();
    lunaret::set_output_driver(&lunaret::kSdlOutputDriver);
  }
  void TearDown() override {
    AudioClose();
    AudioCommand(AUDIO_CMD_SET_ECHO, 0);
    AudioCommand(AUDIO_CMD_SET_MULTICHANNEL, 0);
    AudioCommand(AUDIO_CMD_SET_ALT_TABLE, 0);
    AudioCommand(AUDIO_CMD_SET_PRESET, 8);
    lunaret::set_output_driver(nullptr);
    lunaret_test::CountingSource::uninstall();
    lunaret_test::FakeMedia::uninstall();
  }

  static void play_to_end() { ASSERT_TRUE(fake_media().serve_to_end()) << "playback did not reach its end"; }

  // Serves the callbacks until the whole stream is decoded and at the
  // device (which may be paused).
  static void decode_all() {
    Engine &e = engine();
    ASSERT_TRUE(fake_media().serve_until([&] {
      if (!AudioCommand(AUDIO_CMD_END_OF_STREAM, 0) || e.busy) return false;
      platform::Lock lock(e.queue_lock);
      return e.fill_read == e.fill_write;
    })) << "the stream was not decoded";
  }

  // Plays the counting source (or clicks) to the end and returns what the
  // device wrote from the first frame that starts with head. The disk
  // driver writes a chunk after the callback that took it (and gave its
  // buffer back); closing the engine closes the device, which ends SDL's
  // thread after that write, so the capture is read once, after the close.
  // The counting source is read without
  // the silence of the engine falling behind; a short stream of clicks (all
  // its blocks fit the device's queue) is decoded whole while the device is
  // paused, so that nothing falls behind.
  static std::vector<int16_t> play_and_capture(const std::vector<int16_t> &head, int channels, size_t values,
                                               int echo = 0) {
    EXPECT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
    EXPECT_EQ(AudioOpenOutput(nullptr), 1);
    // Opening a source clears the echo line, so the echo is set after.
    if (echo) AudioCommand(AUDIO_CMD_SET_ECHO, echo);
    const bool clicks = counting_source().impulses;
    EXPECT_EQ(AudioPlay(), 1);
    // Nothing is decoded before the first callbacks are served below.
    if (clicks) {
      EXPECT_EQ(AudioCommand(AUDIO_CMD_DEVICE_PAUSE, 0), 1);
      decode_all();
      EXPECT_EQ(AudioCommand(AUDIO_CMD_DEVICE_RESTART, 0), 1);
    }
    play_to_end();
    AudioClose();
    std::vector<int16_t> cap = from_first(read_capture(), head, channels);
    if (!clicks) cap = without_gaps(cap, channels);
    EXPECT_GE(cap.size(), values) << "the capture holds less than was played";
    return cap;
  }
};

TEST_F(SdlCapture, DeviceReceivesTheDecodedBlocksInOrder) {
  counting_source().frames_total = 60;
  const size_t values = 60u * 2304;
  std::vector<int16_t> cap = play_and_capture(counting_head(false), 2, values);
  ASSERT_GE(cap.size(), values);
  for (size_t k = 0; k < values; ++k)
    ASSERT_EQ(cap[k], counting_value(static_cast<int64_t>(k))) << "value " << k;
}

TEST_F(SdlCapture, VolumeLeftOnlySilencesTheRightChannel) {
  counting_source().frames_total = 20;
  // Without a device the volume call opens one for itself; the value is
  // kept for the device that plays.
  AudioSetVolume(0x0000FFFFu);
  const size_t values = 20u * 2304;
  std::vector<int16_t> cap = play_and_capture(counting_head(true), 2, values);
  AudioSetVolume(0xFFFFFFFFu);
  ASSERT_GE(cap.size(), values);
  for (size_t k = 0; k < values; k += 2) {
    ASSERT_EQ(cap[k], counting_value(static_cast<int64_t>(k))) << "left value " << k;
    ASSERT_EQ(cap[k + 1], 0) << "right value " << k + 1;
  }
}

TEST_F(SdlCapture, EchoPutsAClickOnTheOtherChannelThreeFramesLaterAtHalfLevel) {
  counting_source().impulses = true;
  counting_source().frames_total = 9;
  std::vector<int16_t> cap = play_and_capture({10000, 0, 0, 0}, 2, 9u * 2304, 3);
  ASSERT_GE(cap.size(), 9u * 2304);
  for (size_t i = 0; i < 9u * 2304; ++i) {
    int16_t expect = 0;
    if (i == 0) expect = 10000;
    if (i == 3 * 2304 + 1) expect = 5000;
    ASSERT_EQ(cap[i], expect) << "value " << i;
  }
}

TEST_F(SdlCapture, MultichannelPresetPlacesTheStereoOnSdlSpeakers) {
  // Preset 16: eight channels (FL FR FC BL BR BC SL SR); the stereo pair
  // goes to the fronts, the centre and surrounds are made up from it, and
  // SDL's eight (FL FR FC LFE BL BR SL SR) take them with the back centre
  // split over back left and right and the LFE silent. Two frames per fill
  // at most.
  counting_source().frames_total = 12;
  AudioCommand(AUDIO_CMD_SET_MULTICHANNEL, 1);
  AudioCommand(AUDIO_CMD_SET_PRESET, 16);
  AudioCommand(AUDIO_CMD_APPLY_LAYOUT, 0);
  AudioCommand(AUDIO_CMD_SET_FRAMES_PER_FILL, 8);
  EXPECT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  EXPECT_EQ(engine().out.pcm.channels, 8);
  EXPECT_EQ(engine().out.frames_per_fill, 2);
  AudioClose();
  AudioCommand(AUDIO_CMD_SET_FRAMES_PER_FILL, 1);
  counting_source().install();
  counting_source().frames_total = 12;
  const size_t frames = 12u * 1152;
  std::vector<int16_t> in(frames * 2), placed(frames * 8), expect(frames * 8, 0);
  for (size_t k = 0; k < in.size(); ++k) in[k] = counting_value(static_cast<int64_t>(k));
  const auto roles = lunaret::preset_roles(false, 16);
  lunaret::PlacementSetup setup;
  setup.preset = 16;
  setup.roles = roles.data();
  setup.out_channels = 8;
  lunaret::Placement placement;
  placement.clear();
  ASSERT_EQ(placement.place(setup, in.data(), static_cast<int32_t>(frames), 2, placed.data()),
            static_cast<int32_t>(frames * 8));
  constexpr int kSdlPlace[8] = {0, 1, 2, 4, 5, -1, 6, 7};  // BC (5) split over 4 and 5
  for (size_t f = 0; f < frames; ++f) {
    for (int c = 0; c < 8; ++c)
      if (kSdlPlace[c] >= 0) expect[f * 8 + kSdlPlace[c]] = placed[f * 8 + c];
    const int32_t half = placed[f * 8 + 5] / 2;
    for (int p : {4, 5})
      expect[f * 8 + p] = static_cast<int16_t>(std::clamp(expect[f * 8 + p] + half, -32768, 32767));
  }
  std::vector<int16_t> head(expect.begin(), expect.begin() + 32);
  std::vector<int16_t> cap = play_and_capture(head, 8, frames * 8);
  ASSERT_GE(cap.size(), frames * 8);
  for (size_t i = 0; i < frames * 8; ++i)
    ASSERT_EQ(cap[i], expect[i]) << "frame " << i / 8 << " channel " << i % 8;
  AudioCommand(AUDIO_CMD_SET_PRESET, 8);
  AudioCommand(AUDIO_CMD_APPLY_LAYOUT, 0);
  // Without the multichannel switch the same stream opens two channels.
  AudioCommand(AUDIO_CMD_SET_MULTICHANNEL, 0);
  EXPECT_EQ(AudioOpenStream(0), AUDIO_SOURCE_MPEG_AUDIO);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  EXPECT_EQ(engine().out.pcm.channels, 2);
}

// The device alone: a reset in the middle returns every buffer exactly
// once; what played before it is a prefix of what was written, and
// buffers written after it play whole.
struct DoneCount {
  std::mutex m;
  std::condition_variable cv;
  std::map<AudioWaveHeader *, int> calls;
  static void on_done(void *ctx, AudioWaveHeader *h) {
    auto *d = static_cast<DoneCount *>(ctx);
    std::lock_guard<std::mutex> lock(d->m);
    ++d->calls[h];
    d->cv.notify_all();
  }
  // Waits (at most 20 s) for n done notifications in all.
  bool wait_total(int n) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::seconds(20), [&] {
      int t = 0;
      for (auto &c : calls) t += c.second;
      return t >= n;
    });
  }
  int total() {
    std::lock_guard<std::mutex> lock(m);
    int n = 0;
    for (auto &c : calls) n += c.second;
    return n;
  }
};

TEST(SdlDevice, ResetReturnsEveryBufferOnceAndNothingPlaysTwice) {
  using namespace lunaret;
  constexpr int kBuffers = 12, kValues = 4608;
  std::vector<std::vector<int16_t>> data(kBuffers + 2, std::vector<int16_t>(kValues));
  int64_t k = 0;
  // Never zero, so silence is easy to tell apart.
  for (auto &b : data)
    for (auto &v : b) v = static_cast<int16_t>(1 + (k++ * 7919) % 30000);
  std::vector<AudioWaveHeader> h(kBuffers + 2);
  for (size_t i = 0; i < h.size(); ++i) {
    h[i] = AudioWaveHeader{};
    h[i].data = reinterpret_cast<char *>(data[i].data());
    h[i].buffer_length = h[i].bytes_recorded = kValues * 2;
  }
  DoneCount done;
  auto dev = AudioDevice::open(kSdlOutputDriver, make_pcm_format(2, 44100, 16), DoneCount::on_done, &done);
  ASSERT_TRUE(dev);
  for (int i = 0; i < kBuffers; ++i) {
    ASSERT_EQ(dev->prepare(&h[i]), kDeviceOk);
    ASSERT_EQ(dev->write(&h[i]), kDeviceOk);
  }
  ASSERT_TRUE(done.wait_total(3));
  ASSERT_EQ(dev->reset(), kDeviceOk);
  EXPECT_EQ(done.total(), kBuffers);
  for (int i = 0; i < kBuffers; ++i) {
    EXPECT_EQ(done.calls[&h[i]], 1) << "buffer " << i;
    EXPECT_TRUE(h[i].flags & AUDIO_WHDR_DONE);
  }
  EXPECT_EQ(dev->position(TimeType::bytes).value, 0u);
  for (int i = kBuffers; i < kBuffers + 2; ++i) {
    ASSERT_EQ(dev->prepare(&h[i]), kDeviceOk);
    ASSERT_EQ(dev->write(&h[i]), kDeviceOk);
  }
  ASSERT_TRUE(done.wait_total(kBuffers + 2));
  EXPECT_EQ(done.total(), kBuffers + 2);
  // The last chunk reaches the capture after its buffer came back; the
  // close ends SDL's thread after that write. The reset waits for the last
  // done call to end, which a close refuses to overtake.
  ASSERT_EQ(dev->reset(), kDeviceOk);
  for (int i = 0; i < kBuffers + 2; ++i) dev->unprepare(&h[i]);
  ASSERT_EQ(dev->close(), kDeviceOk);
  std::vector<int16_t> before, after, played;
  for (int i = 0; i < kBuffers; ++i) before.insert(before.end(), data[i].begin(), data[i].end());
  for (int i = kBuffers; i < kBuffers + 2; ++i) after.insert(after.end(), data[i].begin(), data[i].end());
  for (int16_t v : read_capture())
    if (v != 0) played.push_back(v);

  ASSERT_GE(played.size(), after.size());
  EXPECT_TRUE(
      std::equal(after.begin(), after.end(), played.end() - static_cast<std::ptrdiff_t>(after.size())));
  size_t prefix = played.size() - after.size();
  ASSERT_LE(prefix, before.size());
  EXPECT_GE(prefix, 3u * kValues);  // at least the buffers that came back before the reset
  EXPECT_TRUE(
      std::equal(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(prefix), before.begin()));
  EXPECT_TRUE(std::equal(played.begin() + static_cast<std::ptrdiff_t>(prefix), played.end(), after.begin()));
}

TEST(SdlDevice, FormatsAnsweredFromWhatSdlOpens) {
  using namespace lunaret;
  for (int channels = 1; channels <= 8; ++channels)
    for (int bits : {8, 16})
      EXPECT_TRUE(kSdlOutputDriver.query(make_pcm_format(channels, 44100, bits))) << channels;
  PcmFormat spdif = make_pcm_format(2, 48000, 16);
  spdif.format_tag = kFormatAc3Spdif;
  EXPECT_FALSE(kSdlOutputDriver.query(spdif));
  EXPECT_FALSE(kSdlOutputDriver.query(make_pcm_format(9, 44100, 16)));
  EXPECT_FALSE(kSdlOutputDriver.query(make_pcm_format(2, 44100, 24)));
  // AC-3 over S/PDIF is not accepted by a device that cannot take it.
  EXPECT_EQ(AudioCommand(AUDIO_CMD_SPDIF_USABLE, 0), 0);
  int32_t mask = 0;
  EXPECT_EQ(AudioCommand(AUDIO_CMD_MAX_CHANNELS, reinterpret_cast<intptr_t>(&mask)), 8);
  EXPECT_EQ(mask & 0xF8, 0xF8);
  EXPECT_EQ(mask & 0xFFFF00, 0xFFFF00);  // every preset's layout is usable
}

TEST(SdlDevice, SurroundVolumeFollowsTheLouderChannel) {
  using namespace lunaret;
  DoneCount done;
  auto dev = AudioDevice::open(kSdlOutputDriver, make_pcm_format(6, 48000, 16), DoneCount::on_done, &done);
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->volume(), 0xFFFFFFFFu);
  dev->set_volume(0x0000FFFFu);
  EXPECT_EQ(dev->volume(), 0xFFFFFFFFu);  // 0 dB from the louder side
  dev->set_volume(0x7FFF7FFFu);
  uint32_t v = dev->volume();
  EXPECT_EQ(v & 0xFFFF, v >> 16);
  EXPECT_NEAR(static_cast<double>(v & 0xFFFF), 0x7FFF, 8);
  ASSERT_EQ(dev->close(), kDeviceOk);
}

}  // namespace

namespace {
std::string capture_path() {
  static std::string path = testing_support::scratch_dir() + "/sdl_capture.raw";
  return path;
}
}  // namespace

// Captured by the disk driver, four times faster than real time; set before
// SDL starts its audio, which happens at the first device query.
static const bool kDiskDriver = [] {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", capture_path().c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "5", 1);
  return true;
}();
