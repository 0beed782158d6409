#include "tools/fennick/engine/encode_run.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/audio_api.h"
#include "components/pikran/pikran.h"
#include "components/sondral/sondral.h"
#include "media/media_api.h"
#include "tools/common/channel_table.h"
#include "tools/fennick/engine/audio_feed.h"
#include "tools/fennick/engine/job_engine.h"
#include "tools/fennick/engine/video_encode_thread.h"
#include "video/video_api.h"

namespace fennick {

namespace {

// While the media layer's video ring holds more than this, pictures are
// stepped past without being encoded (their time still counts).
constexpr int32_t kVideoRingLimit = 0xF0000;
// A range shorter than this is not converted.
constexpr int64_t kShortestRange = 500000;
constexpr int32_t kDefaultByteRate = 180224;
// The audio side of the engine opens at once or not at all; a few looks
// cover a slow open without waiting for ever on a source without sound.
constexpr int kAudioOpenLooks = 20;
constexpr auto kAudioOpenPause = std::chrono::milliseconds(5);
constexpr int32_t kSilentRate = 44100;
constexpr int32_t kSilentChannels = 2;
constexpr int32_t kExpectedFramesHint = 1000000;

struct Sound {
  bool silent = true;
  int32_t rate = kSilentRate;
  int32_t channels = kSilentChannels;
};

Sound open_sound() {
  Sound s;
  bool open = false;
  for (int i = 0; i < kAudioOpenLooks && !open; ++i) {
    open = VideoCommand(VCMD_OPEN_AUDIO, 0) != 0;
    if (!open) std::this_thread::sleep_for(kAudioOpenPause);
  }
  if (!open) return s;
  AudioSetRateMode(AUDIO_RATE_FULL);
  int32_t written = 0;
  const auto mode =
      static_cast<int32_t>(AudioCommand(AUDIO_CMD_CHANNEL_FORMAT, reinterpret_cast<intptr_t>(&written)));
  // MPEG answers the header mode; other kinds answer 4 and write the count.
  int32_t channels = mode >= 0 && mode < 4 ? tools_common::channels_for_mode(mode) : written;
  int32_t rate = 0;
  AudioCommand(AUDIO_CMD_RATE_INDEX, reinterpret_cast<intptr_t>(&rate));
  AudioCommand(AUDIO_CMD_SET_ECHO, 0);
  if (channels < 1 || channels > 2 || rate < 1000 || rate > 192000) return s;
  s.silent = false;
  s.rate = rate;
  s.channels = channels;
  return s;
}

int64_t sound_bytes_due(int64_t pictures, const Sound &s, tools_common::FrameRate out) {
  const int64_t frames = pictures * s.rate * out.denominator / out.numerator;
  return frames * s.channels * 2;
}

}  // namespace

int32_t source_byte_rate() {
  if (VideoCommand(VCMD_IS_ELEMENTARY, 0)) return VideoGetBitRate() / 8;
  if (SysControl(CTL_RATE_VALID, 0)) {
    const int32_t rate = SysControl(CTL_BYTE_RATE, 0);
    if (rate > 1) return rate;
  }
  return header_byte_rate();
}

int32_t header_byte_rate() {
  const int64_t b = (static_cast<int64_t>(VideoGetBitRate()) + AudioGetBitRate()) / 8;
  const uint32_t word = SysGetPackOverhead();
  const int64_t payload = word & 0xFFFF;
  const int64_t overhead = word >> 16;
  if (payload == 0) return kDefaultByteRate;
  return static_cast<int32_t>(b + (b / payload) * overhead);
}

EncodeResult EncodeRun(const EncodeJob &job) {
  EncodeResult r;
  const tools_common::FrameRate out_rate = tools_common::frame_rate(job.frame_rate_code);
  const bool letterbox = job.out_width == 352 && (job.out_height == 240 || job.out_height == 288) && job.wide;
  const int64_t len = static_cast<uint32_t>(VideoCommand(VCMD_TOTAL_LENGTH, 0));
  const int64_t start_byte = len * job.start_percent / 100;
  const int64_t end_byte = len * job.end_percent / 100;
  const int32_t byte_rate = source_byte_rate();
  if (len <= 0 || byte_rate <= 0) {
    r.reason = "the source's length or byte rate is unknown";
    return r;
  }
  const double fps = job.source_rate.fps();
  const int64_t expected = static_cast<int64_t>(
      static_cast<double>(len) / byte_rate * (job.end_percent - job.start_percent) * fps * 0.01 + 0.5);
  if (end_byte - start_byte < kShortestRange) {
    r.reason = "the range to convert is shorter than 500,000 bytes";
    return r;
  }
  if (expected <= 0) {
    r.reason = "the source is too short to hold a picture";
    return r;
  }

  PictureFeed feed;
  VideoEncodeThread video;
  if (!feed.start(job.source_width, job.source_height, job.out_width, job.out_height, letterbox,
                  job.processing, job.smooth_zoom) ||
      !video.start(job.out_width, job.out_height)) {
    r.reason = "the picture size cannot be converted";
    return r;
  }
  const PikranParams params{PIKRAN_VCD_BIT_RATE,  job.video_cd ? 1 : 0, 0,
                            job.out_width,        job.out_height,       PIKRAN_VCD_VBV_UNITS,
                            feed.output_header(), job.frame_rate_code};
  if (!PikranOpen(job.video_temp.c_str(), &params, kExpectedFramesHint)) {
    r.reason = "the video encoder refused the settings or could not create its stream";
    return r;
  }
  const Sound sound = open_sound();
  if (sound.silent) r.note = "no sound could be decoded: the output has a silent track";
  SondralSetInputRate(sound.rate);
  SondralSetInputBits(16);
  SondralSetChannels(sound.channels);
  SondralSetLayer(job.layer);
  SondralSetOutputRate(44100);
  SondralSetBitRate(job.audio_kbps);
  if (!SondralOpen(job.audio_temp.c_str())) {
    PikranClose();
    r.reason = "the audio encoder refused the settings or could not create its stream";
    return r;
  }
  AudioFeed audio;
  audio.start(sound.silent);

  if (start_byte > 0) VideoSeek(static_cast<int32_t>(start_byte), 0);
  ShownPicture &shown = *job.shown;
  if (!VideoCommand(VCMD_PLANE_RECORD, 0) && !VideoStep()) {
    video.finish();
    PikranClose();
    SondralClose();
    r.reason = "the source holds no picture";
    return r;
  }
  // Time in field periods of the source; output picture j is due at
  // j / output rate and shows the source picture current then. The
  // comparison F * A <= j * B says "field F lies at or before output j".
  const int64_t A = static_cast<int64_t>(job.source_rate.denominator) * out_rate.numerator;
  const int64_t B = 2LL * job.source_rate.numerator * out_rate.denominator;
  auto fields_now = [&] {
    const auto f = static_cast<int32_t>(VideoCommand(VCMD_PICTURE_FIELDS, 0));
    return f > 0 ? f : (shown.fields > 0 ? shown.fields : 2);
  };
  int64_t picture_end = fields_now();  // fields up to the end of the current picture
  r.decoded = 1;
  bool fresh = true;  // the current picture is not converted yet
  bool ended = false;
  auto step = [&]() {
    if (!VideoStep()) return false;
    picture_end += fields_now();
    ++r.decoded;
    fresh = true;
    return true;
  };
  int64_t sound_sent = 0;
  bool writes_ok = true;
  while (job.stop->load() == 0 && !ended && writes_ok) {
    while (picture_end * A <= r.pictures * B) {
      if (!step()) {
        ended = true;
        break;
      }
    }
    if (ended) break;
    while (SysVideoAvail(nullptr) > kVideoRingLimit && step()) {
    }
    const int64_t pos = static_cast<uint32_t>(VideoSeek(0, 1));
    if (job.range && pos >= end_byte) break;
    tools_common::PictureBitmap *picture = video.last();
    if (fresh || !picture) {
      // A picture that cannot be read repeats the last one (the first:
      // black).
      tools_common::PictureBitmap *next = video.next_free();
      if (feed.take_current(shown, next)) {
        picture = next;
      } else if (!picture) {
        next->clear();
        picture = next;
      }
      fresh = false;
    }
    video.encode(picture);
    ++r.pictures;
    const int64_t due = sound_bytes_due(r.pictures, sound, out_rate);
    writes_ok = audio.send(due - sound_sent);
    sound_sent = due;
    const int32_t pct = static_cast<int32_t>(pos * 100 / len);
    const int32_t span = job.end_percent - job.start_percent;
    const int32_t progress = span > 0 ? std::clamp((pct - job.start_percent) * 100 / span, 0, 100) : 100;
    if (job.observer) {
      job.observer->OnPosition(pct);
      job.observer->OnProgress(progress);
      PictureProgress p;
      p.row = job.row;
      p.pictures_out = r.pictures;
      p.pictures_decoded = r.decoded;
      p.expected_pictures = expected;
      p.source_seconds = static_cast<double>(picture_end) / (2.0 * fps);
      p.percent = progress;
      job.observer->OnPictures(p);
    }
  }
  r.stopped = job.stop->load() != 0;
  video.finish();
  const bool video_closed = PikranClose() != 0;
  const bool audio_closed = SondralClose() != 0;
  if (!video_closed) {
    r.reason = "the video encoder could not write its stream (disk full?)";
  } else if (!audio_closed || !writes_ok) {
    r.reason = "the audio encoder could not write its stream (disk full?)";
  } else if (r.pictures == 0) {
    r.reason = "no picture was converted";
  } else {
    r.ok = true;
  }
  return r;
}

}  // namespace fennick
