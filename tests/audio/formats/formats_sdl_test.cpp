// What reaches the sound card for AC-3, captured by SDL's disk driver: the
// S/PDIF bursts bit for bit whatever the effects, and speaker layouts on
// SDL's fixed speaker positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/audio_api.h"
#include "audio/engine.h"
#include "tests/audio/engine/fake_media.h"
#include "tests/support/compare.h"
#include "tests/support/test_media.h"

namespace {

using lunaret_test::fake_media;

std::string capture_path() {
  static std::string path = testing_support::scratch_dir() + "/af_sdl_capture.raw";
  return path;
}

std::vector<uint8_t> read_capture() {
  std::ifstream in(capture_path(), std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SdlFormats : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_media().install();
    lunaret::set_output_driver(&lunaret::kSdlOutputDriver);
  }
  void TearDown() override {
    AudioClose();
    AudioCommand(AUDIO_CMD_SET_ECHO, 0);
    AudioCommand(AUDIO_CMD_SET_EQ_ENABLE, 0);
    AudioCommand(AUDIO_CMD_SET_PASSTHROUGH, 0);
    AudioCommand(AUDIO_CMD_SET_MULTICHANNEL, 0);
    AudioCommand(AUDIO_CMD_SET_ALT_TABLE, 0);
    AudioCommand(AUDIO_CMD_SET_PRESET, 8);
    AudioCommand(AUDIO_CMD_APPLY_LAYOUT, 0);
    AudioSetVolume(0xFFFFFFFFu);
    lunaret::set_output_driver(nullptr);
    lunaret_test::FakeMedia::uninstall();
  }

  // Plays an AC-3 file to its end and returns the capture. The disk driver
  // starts its file afresh at every device open and writes a chunk after
  // the callback that took it; the close ends SDL's thread after that
  // write, so the capture is read once, after the close.
  static std::vector<uint8_t> play(const std::string &name, size_t bytes) {
    EXPECT_TRUE(fake_media().load(testing_support::media_path(name)));
    EXPECT_NE(AudioOpenFile(testing_support::media_path(name).c_str()), 0);
    EXPECT_EQ(AudioOpenOutput(nullptr), 1);
    EXPECT_EQ(AudioPlay(), 1);
    EXPECT_TRUE(fake_media().serve_to_end()) << "playback did not reach its end";
    AudioClose();
    std::vector<uint8_t> cap = read_capture();
    EXPECT_GE(cap.size(), bytes) << "the capture holds less than was played";
    return cap;
  }
};

// The bursts found in a capture, each 6,144 bytes from its preamble (the
// device plays silence between them when the engine falls behind).
std::vector<std::vector<uint8_t>> bursts(const std::vector<uint8_t> &b) {
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i + 6144 <= b.size();) {
    if (b[i] == 0x72 && b[i + 1] == 0xF8 && b[i + 2] == 0x1F && b[i + 3] == 0x4E) {
      out.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(i),
                       b.begin() + static_cast<std::ptrdiff_t>(i + 6144));
      i += 6144;
    } else {
      i += 4;
    }
  }
  return out;
}

TEST_F(SdlFormats, BurstsReachTheDeviceBitExactWhateverTheEffects) {
  ASSERT_EQ(AudioCommand(AUDIO_CMD_SPDIF_USABLE, 0), 1);
  AudioCommand(AUDIO_CMD_SET_PASSTHROUGH, 1);
  const int32_t eq[10] = {12, -12, 6, 0, 0, 9, -9, 3, 0, 12};
  AudioCommand(AUDIO_CMD_SET_EQUALISER, reinterpret_cast<intptr_t>(eq));
  AudioCommand(AUDIO_CMD_SET_EQ_ENABLE, 1);
  AudioSetVolume(0x40004000u);
  const auto spdif = testing_support::read_file_bytes(testing_support::media_path("af_tones51.spdif"));
  ASSERT_TRUE(spdif.has_value());
  fake_media().load(testing_support::media_path("af_tones51.ac3"));
  ASSERT_NE(AudioOpenFile(testing_support::media_path("af_tones51.ac3").c_str()), 0);
  ASSERT_EQ(AudioOpenOutput(nullptr), 1);
  AudioCommand(AUDIO_CMD_SET_ECHO, 4);
  AudioClose();
  std::vector<uint8_t> cap = play("af_tones51.ac3", spdif->size());
  auto got = bursts(cap), want = bursts(*spdif);
  ASSERT_EQ(want.size(), spdif->size() / 6144);
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < want.size(); ++k) ASSERT_EQ(got[k], want[k]) << "burst " << k;
}

// The capture as frames of `channels` values without the runs of silence
// (64 frames or more) the device plays while it waits for the engine; the
// tones themselves are all zero together only for a frame now and then.
std::vector<int16_t> sound_frames(const std::vector<uint8_t> &b, int channels) {
  const size_t frame = static_cast<size_t>(channels) * 2, frames = b.size() / frame;
  std::vector<int16_t> all(frames * channels);
  std::memcpy(all.data(), b.data(), all.size() * 2);
  auto silent = [&](size_t f) {
    for (int c = 0; c < channels; ++c)
      if (all[f * channels + c] != 0) return false;
    return true;
  };
  std::vector<int16_t> out;
  for (size_t f = 0; f < frames;) {
    size_t end = f;
    while (end < frames && silent(end)) ++end;
    if (end - f < 64) {
      for (size_t k = f; k < end; ++k)
        out.insert(out.end(), all.begin() + k * channels, all.begin() + (k + 1) * channels);
    }
    if (end < frames) out.insert(out.end(), all.begin() + end * channels, all.begin() + (end + 1) * channels);
    f = end + 1;
  }
  return out;
}

// ffmpeg's six channels (FL FR FC LFE SL SR) as a layout places them on
// SDL's speakers.
template <typename Place>
std::vector<int16_t> arranged(const std::vector<int16_t> &six, int channels, Place place) {
  std::vector<int16_t> out;
  for (size_t f = 0; f + 6 <= six.size(); f += 6) {
    int32_t v[8] = {};
    place(&six[f], v);
    for (int c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(std::clamp(v[c], -32768, 32767)));
  }
  return out;
}

void choose_layout(int preset, int alt) {
  AudioCommand(AUDIO_CMD_SET_MULTICHANNEL, 1);
  AudioCommand(AUDIO_CMD_SET_ALT_TABLE, alt);
  AudioCommand(AUDIO_CMD_SET_PRESET, preset);
  AudioCommand(AUDIO_CMD_APPLY_LAYOUT, 0);
}

TEST_F(SdlFormats, LayoutsLandOnSdlSpeakerPositions) {
  auto six = testing_support::read_pcm_file(testing_support::media_path("af_tones51.6ch.s16"));
  ASSERT_TRUE(six.has_value());
  const size_t frames = six->size() / 6;
  auto check = [&](int preset, int alt, int channels, int max_diff, auto place) {
    SCOPED_TRACE(preset);
    choose_layout(preset, alt);
    std::vector<int16_t> got = sound_frames(play("af_tones51.ac3", frames * channels * 2), channels);
    std::vector<int16_t> want = arranged(*six, channels, place);
    ASSERT_GE(got.size(), want.size() * 9 / 10);
    // Aligned on a window in the middle (the capture has no silent frames,
    // ffmpeg's decode starts with some), then compared whole but for the
    // edges.
    const int64_t n_got = static_cast<int64_t>(got.size()) / channels;
    const int64_t n_want = static_cast<int64_t>(want.size()) / channels;
    auto diff_at = [&](int64_t lag, int64_t from, int64_t to) {
      int worst = 0;
      for (int64_t k = from; k < to; ++k) {
        if (k + lag < 0 || k + lag >= n_want || k >= n_got) return 1 << 20;
        for (int c = 0; c < channels; ++c)
          worst = std::max(worst, std::abs(got[k * channels + c] - want[(k + lag) * channels + c]));
      }
      return worst;
    };
    int64_t lag = 0;
    int best = 1 << 30;
    for (int64_t l = -400; l <= 400; ++l) {
      const int d = diff_at(l, 20000, 20200);
      if (d < best) best = d, lag = l;
    }
    EXPECT_LE(diff_at(lag, 1000, std::min(n_got, n_want) - 1000), max_diff) << "lag " << lag;
  };
  // 5.1 on FL FR FC LFE BL BR: SDL's eight, the sides silent.
  check(9, 1, 8, 2, [](const int16_t *s, int32_t *v) {
    for (int c = 0; c < 6; ++c) v[c] = s[c];
  });
  // FL FR FC: SDL's six with the centre at position 2, the surrounds and
  // LFE folded into the fronts.
  check(5, 0, 6, 6, [](const int16_t *s, int32_t *v) {
    v[0] = s[0] + s[4] * 3 / 4 + s[3];
    v[1] = s[1] + s[5] * 3 / 4 + s[3];
    v[2] = s[2];
  });
  // Preset 13 (FL FR BL BR SL SR) opens SDL's eight; centre and LFE stay 0.
  choose_layout(13, 0);
  std::vector<int16_t> got = sound_frames(play("af_tones51.ac3", frames * 16), 8);
  ASSERT_GT(got.size(), frames * 8 / 2);
  for (size_t i = 0; i < got.size(); i += 8) {
    ASSERT_EQ(got[i + 2], 0);
    ASSERT_EQ(got[i + 3], 0);
  }
}

}  // namespace

// Captured by the disk driver, faster than real time; the burst device is its
// only output. Set before SDL starts its audio, at the first device query.
static const bool kDiskDriver = [] {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", capture_path().c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "5", 1);
  setenv("LUNARET_SPDIF_DEVICE", "System audio output device", 1);
  return true;
}();
