// The ring levels that steer the play loops. Pacing never compares time
// stamps: how full the media layer's video and audio rings are tells the
// loop whether the decoder is behind (skip), ahead (wait longer) or the
// sound is starving (show at once). Every threshold lives here.
#pragma once

#include <cstdint>

namespace kestrum::play {

// --- MPEG-1 video levels (bytes waiting in the video ring) -----------------
/// Below this the loop gives itself 8 ms more per picture.
inline constexpr int32_t kMpeg1LowVideo = 0;
/// Above level 1 each picture comes sooner by 1 ms per 4 KiB over paceBase.
inline constexpr int32_t kMpeg1VideoLevel1 = 40960;
/// Above level 2 with a starving audio ring the wait is dropped; also the
/// floor the skipping rules stop at.
inline constexpr int32_t kMpeg1VideoLevel2 = 61440;
/// Above level 3 the next picture is decoded at once unless it is a B.
inline constexpr int32_t kMpeg1VideoLevel3 = 81920;
/// Above level 4 B pictures are dropped up to the next anchor.
inline constexpr int32_t kMpeg1VideoLevel4 = 102400;
/// Above level 5 everything up to the next I picture is dropped.
inline constexpr int32_t kMpeg1VideoLevel5 = 143360;
/// Milliseconds-per-4-KiB base of the "full video ring" speed-up (40960 >> 12).
inline constexpr int32_t kMpeg1PaceBase = 10;

// --- MPEG-2 video levels, derived from the VBV size K ----------------------
/// A VBV at or below this is treated as 40960 bytes with steps of 20480.
inline constexpr int32_t kMpeg2SmallVbv = 38912;
inline constexpr int32_t kMpeg2SmallVbvSize = 40960;
inline constexpr int32_t kMpeg2SmallVbvStep = 20480;
/// VBV sizes in [131073, 282623] (DVD-like) use the fixed levels below.
inline constexpr int32_t kMpeg2FixedFrom = 131073;
inline constexpr int32_t kMpeg2FixedTo = 282623;
inline constexpr int32_t kMpeg2FixedLevels[5] = {245760, 360448, 466944, 589824, 720896};
/// lowVideo is K less this, never below 0.
inline constexpr int32_t kMpeg2LowVideoMargin = 65536;
/// The graded skipping's upper levels (MPEG-2 loop only).
inline constexpr int32_t kMpeg2VideoLevel6 = 917504;
inline constexpr int32_t kMpeg2VideoLevel7 = 1245184;
inline constexpr int32_t kMpeg2VideoLevel8 = 1572864;

// --- Audio levels (bytes waiting in the audio ring) -----------------------
/// MPEG-1: above level 4 each picture waits audioFill/256 ms more, above 2
/// or 3 audioFill/512, above 1 audioFill/640; below 3 the audio is starving.
inline constexpr int32_t kMpeg1AudioLevels[4] = {3840, 5376, 6912, 8448};
/// MPEG-2: level 1 is the audio bytes of 125 ms (at least 3840), the step
/// 2/5 of it (1536 for the minimum).
inline constexpr int32_t kMpeg2AudioBase = 3840;
inline constexpr int32_t kMpeg2AudioStep = 1536;

// --- Pacing in milliseconds ------------------------------------------------
/// Extra time per picture when the video ring runs low.
inline constexpr int32_t kLowVideoSlackMs = 8;
/// Shortest wait handed to the audio refills before each picture.
inline constexpr int32_t kMinWaitMs = 5;
/// Budget of one audio refill pass between steps.
inline constexpr int32_t kRefillSliceMs = 26;
/// Refill budget right after the audio output starts.
inline constexpr int32_t kAudioStartBudgetMs = 60;
/// Waits outside (kMinSleepableMs, kMaxSleepableMs) are not slept: a late
/// picture is shown at once, a wild difference is not waited out.
inline constexpr int32_t kMinSleepableMs = 1;
inline constexpr int32_t kMpeg2MinSleepableMs = 2;
inline constexpr int32_t kMaxSleepableMs = 100;
/// Pictures handled per call before the thread looks at its flags again.
inline constexpr int32_t kPicturesPerCall = 8;
/// Audio-full delays: divisors of audioFill (bytes -> ms).
inline constexpr int32_t kAudioFullDivisor = 256;
inline constexpr int32_t kAudioHighDivisor = 512;
inline constexpr int32_t kAudioSomeDivisor = 640;
/// MPEG-2 loop: small nudges when the audio ring is at or below level 1.
inline constexpr int32_t kMpeg2AudioLowNudgeMs = 4;
inline constexpr int32_t kMpeg2AudioEmptyNudgeMs = 2;
/// MPEG-2 loop: how much sooner the next picture is due as the video ring
/// fills (level 3, between 2 and 3, level 2, between 1 and 2, level 1).
inline constexpr int32_t kMpeg2Sooner[5] = {24, 16, 12, 8, 4};
/// Trick modes: pause between shown pictures, and the slow-mode unit.
inline constexpr uint32_t kTrickPauseMs = 16;
inline constexpr uint32_t kSlowUnitMs = 40;
/// Fast mode shows this many pictures per call.
inline constexpr int32_t kFastPicturesPerCall = 4;
/// Audio-only loop: refill budget, end polls after a silent play, the
/// relative seek that pushes a stalled source on, and the pause per pass.
inline constexpr int32_t kAudioOnlyRefillMs = 1000;
inline constexpr int32_t kAudioOnlyEndPolls = 40;
inline constexpr int32_t kAudioOnlyNudgeBytes = 2048;
inline constexpr uint32_t kAudioOnlyPassMs = 30;

struct VideoLevels {
  int32_t low = kMpeg1LowVideo;
  int32_t level[9] = {0,
                      kMpeg1VideoLevel1,
                      kMpeg1VideoLevel2,
                      kMpeg1VideoLevel3,
                      kMpeg1VideoLevel4,
                      kMpeg1VideoLevel5,
                      kMpeg2VideoLevel6,
                      kMpeg2VideoLevel7,
                      kMpeg2VideoLevel8};  // level[1..8]
  int32_t pace_base = kMpeg1PaceBase;
};

struct AudioLevels {
  int32_t level[5] = {0, kMpeg1AudioLevels[0], kMpeg1AudioLevels[1], kMpeg1AudioLevels[2],
                      kMpeg1AudioLevels[3]};  // level[1..4]
};

/// MPEG-1 levels.
VideoLevels mpeg1_video_levels();
/// MPEG-2 levels for a VBV of vbv_bytes.
VideoLevels mpeg2_video_levels(int32_t vbv_bytes);
/// VBV size in bytes from the sequence header's fields.
int32_t vbv_bytes(int32_t vbv_buffer_size_value, int32_t vbv_buffer_size_extension);
/// Audio levels; audio_bit_rate in bit/s (AudioGetBitRate), MPEG-2 only.
AudioLevels audio_levels(bool mpeg2, int32_t audio_bit_rate);

}  // namespace kestrum::play
