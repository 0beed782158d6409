// The generated test media hold what the other tests rely on: every stream
// and reference under its agreed name, side files that match their data,
// the stream ids and coding tools each stream is there to exercise, and
// references that agree with each other.
#include "tests/support/test_media.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "tests/support/compare.h"

namespace testing_support {
namespace {

std::vector<uint8_t> load(const std::string &name) {
  auto bytes = read_file_bytes(media_path(name));
  EXPECT_TRUE(bytes) << "cannot read " << media_path(name);
  return bytes ? std::move(*bytes) : std::vector<uint8_t>{};
}

struct Stream {
  const char *name;
  std::vector<const char *> refs;
};

const Stream kStreams[] = {
    {"mpeg1_system.mpg", {".video.es", ".audio.es", ".yuv", ".pcm"}},
    {"mpeg2_ps.mpg", {".video.es", ".audio.es", ".yuv", ".pcm"}},
    {"vob_ac3_lpcm.vob", {".video.es", ".ac3", ".lpcm.pcm", ".audio.es", ".pcm"}},
    {"ts_mpeg2.ts", {".video.es", ".audio.es", ".pcm"}},
    {"video_mpeg1.m1v", {".yuv"}},
    {"video_mpeg2_progressive.m2v", {".yuv"}},
    {"video_mpeg2_interlaced.m2v", {".yuv"}},
    {"video_mpeg2_open_gop.m2v", {".yuv"}},
    {"video_starts_with_b.m2v", {".yuv"}},
    {"video_mpeg1_360x240.m1v", {".yuv"}},
    {"video_mpeg2_tools.m2v", {".yuv"}},
    {"audio_l2_32k_stereo.mp2", {".pcm"}},
    {"audio_l2_44k_joint.mp2", {".pcm"}},
    {"audio_l2_48k_mono.mp2", {".pcm"}},
    {"audio_l2_48k_stereo.mp2", {".pcm"}},
    {"audio_l2_48k_crc.mp2", {".pcm"}},
    {"audio_l2_22k_lsf.mp2", {".pcm"}},
    {"audio_l3_44k.mp3", {".pcm"}},
    {"audio_l3_22k_lsf.mp3", {".pcm"}},
    {"audio_ac3_48k.ac3", {".pcm"}},
    {"wave_mp2.wav", {".audio.es", ".pcm"}},
    {"wave_mp3.wav", {".audio.es", ".pcm"}},
};

TEST(TestMedia, EveryStreamHasItsReferences) {
  namespace fs = std::filesystem;
  for (const Stream &s : kStreams) {
    EXPECT_GT(fs::exists(media_path(s.name)) ? fs::file_size(media_path(s.name)) : 0u, 0u) << s.name;
    for (const char *ref : s.refs) {
      const std::string path = media_path(std::string(s.name) + ref);
      EXPECT_TRUE(fs::exists(path) && fs::file_size(path) > 0) << path;
      // The same reference under the stream's name without its extension.
      const std::string stem = fs::path(s.name).stem().string();
      EXPECT_TRUE(fs::exists(media_path(stem + ref))) << stem << ref;
    }
  }
}

// Display size and picture count of every .yuv, from its side file, which
// must match the data.
TEST(TestMedia, PictureReferencesMatchTheirSideFiles) {
  struct Case {
    const char *name;
    int width, height, frames;
  };
  const Case cases[] = {
      {"mpeg1_system.mpg", 352, 288, 75},
      {"mpeg2_ps.mpg", 720, 576, 50},
      {"video_mpeg1.m1v", 352, 288, 75},
      {"video_mpeg2_progressive.m2v", 720, 576, 50},
      {"video_mpeg2_interlaced.m2v", 720, 576, 50},
      {"video_mpeg2_open_gop.m2v", 720, 576, 50},
      {"video_starts_with_b.m2v", 720, 576, 38},
      {"video_mpeg1_360x240.m1v", 360, 240, 60},
      {"video_mpeg2_tools.m2v", 720, 576, 25},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const auto info = read_yuv_info(media_path(std::string(c.name) + ".yuv.txt"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, c.width);
    EXPECT_EQ(info->height, c.height);
    EXPECT_EQ(info->frames, c.frames);
    EXPECT_EQ(std::filesystem::file_size(media_path(std::string(c.name) + ".yuv")),
              yuv_picture_size(c.width, c.height) * c.frames);
  }
}

TEST(TestMedia, SoundReferencesMatchTheirSideFiles) {
  struct Case {
    const char *file;
    int rate, channels;
  };
  const Case cases[] = {
      {"mpeg1_system.mpg.pcm", 44100, 2},
      {"mpeg2_ps.mpg.pcm", 48000, 2},
      {"vob_ac3_lpcm.vob.pcm", 48000, 2},
      {"vob_ac3_lpcm.vob.lpcm.pcm", 48000, 2},
      {"ts_mpeg2.ts.pcm", 48000, 2},
      {"audio_l2_32k_stereo.mp2.pcm", 32000, 2},
      {"audio_l2_44k_joint.mp2.pcm", 44100, 2},
      {"audio_l2_48k_mono.mp2.pcm", 48000, 1},
      {"audio_l2_48k_stereo.mp2.pcm", 48000, 2},
      {"audio_l2_48k_crc.mp2.pcm", 48000, 2},
      {"audio_l2_22k_lsf.mp2.pcm", 22050, 2},
      {"audio_l3_44k.mp3.pcm", 44100, 2},
      {"audio_l3_22k_lsf.mp3.pcm", 22050, 2},
      {"audio_ac3_48k.ac3.pcm", 48000, 2},
      {"wave_mp2.wav.pcm", 48000, 2},
      {"wave_mp3.wav.pcm", 44100, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    const auto info = read_pcm_info(media_path(std::string(c.file) + ".txt"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->rate, c.rate);
    EXPECT_EQ(info->channels, c.channels);
    // At least 1.9 s of sound in every stream.
    EXPECT_GT(info->samples_per_channel, c.rate * 19 / 10);
    EXPECT_EQ(std::filesystem::file_size(media_path(c.file)),
              static_cast<uint64_t>(info->samples_per_channel) * c.channels * 2);
  }
}

// Stream ids (and private stream 1 sub-ids) of every PES packet in a
// program stream whose packs all have the given size.
std::set<int> pack_stream_ids(const std::vector<uint8_t> &ps, std::size_t pack_size) {
  std::set<int> ids;
  EXPECT_EQ(ps.size() % pack_size, 0u);
  for (std::size_t pack = 0; pack + pack_size <= ps.size(); pack += pack_size) {
    const uint8_t *p = ps.data() + pack;
    EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xBA) << "no pack header at " << pack;
    // MPEG-2 pack headers are 14 bytes plus stuffing, MPEG-1 ones 12.
    std::size_t at = (p[4] & 0xC0) == 0x40 ? 14 + (p[13] & 7) : 12;
    while (at + 6 <= pack_size && p[at] == 0 && p[at + 1] == 0 && p[at + 2] == 1) {
      const int id = p[at + 3];
      const std::size_t len = (p[at + 4] << 8) | p[at + 5];
      if (id == 0xBD && at + 9 <= pack_size) {
        // MPEG-2 PES header: two flag bytes, then its length; the sub-id
        // is the first payload byte.
        const std::size_t payload = at + 9 + p[at + 8];
        if (payload < pack_size) ids.insert(0xBD00 | p[payload]);
      } else if (id != 0xBA) {
        ids.insert(id);
      }
      at += 6 + len;
    }
  }
  return ids;
}

TEST(TestMedia, SystemStreamsCarryTheirStreamIds) {
  auto vob = pack_stream_ids(load("vob_ac3_lpcm.vob"), 2048);
  vob.erase(0xBE);  // padding
  EXPECT_EQ(vob, (std::set<int>{0xBB, 0xBF, 0xE0, 0xC0, 0xBD80, 0xBDA0}));
  const auto vcd = pack_stream_ids(load("mpeg1_system.mpg"), 2324);
  EXPECT_TRUE(vcd.count(0xE0) && vcd.count(0xC0));
  const auto ps = load("mpeg2_ps.mpg");
  ASSERT_GT(ps.size(), 16u);
  EXPECT_EQ(ps[4] & 0xC0, 0x40) << "an MPEG-2 pack header";
  // Transport stream: 188-byte packets, each starting with the sync byte.
  const auto ts = load("ts_mpeg2.ts");
  ASSERT_EQ(ts.size() % 188, 0u);
  for (std::size_t i = 0; i < ts.size(); i += 188) ASSERT_EQ(ts[i], 0x47) << i;
}

// Audio frame headers: layer, mode and protection as the stream names say.
TEST(TestMedia, AudioStreamsUseTheirModes) {
  struct Case {
    const char *name;
    int id;          // 3 MPEG-1, 2 MPEG-2 (low sampling frequency)
    int layer_bits;  // 2 Layer II, 1 Layer III
    int mode;        // 0 stereo, 1 joint stereo, 3 mono
    bool crc;
  };
  const Case cases[] = {
      {"audio_l2_32k_stereo.mp2", 3, 2, 0, false}, {"audio_l2_44k_joint.mp2", 3, 2, 1, false},
      {"audio_l2_48k_mono.mp2", 3, 2, 3, false},   {"audio_l2_48k_stereo.mp2", 3, 2, 0, false},
      {"audio_l2_48k_crc.mp2", 3, 2, 0, true},     {"audio_l2_22k_lsf.mp2", 2, 2, 0, false},
      {"audio_l3_44k.mp3", 3, 1, 1, false},        {"audio_l3_22k_lsf.mp3", 2, 1, 1, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const auto a = load(c.name);
    ASSERT_GE(a.size(), 4u);
    ASSERT_EQ(a[0], 0xFF) << "starts with a frame header, no tag";
    EXPECT_EQ((a[1] >> 3) & 3, c.id);
    EXPECT_EQ((a[1] >> 1) & 3, c.layer_bits);
    EXPECT_EQ((a[1] & 1) == 0, c.crc);
    EXPECT_EQ(a[3] >> 6, c.mode);
  }
  const auto ac3 = load("audio_ac3_48k.ac3");
  ASSERT_GE(ac3.size(), 2u);
  EXPECT_TRUE(ac3[0] == 0x0B && ac3[1] == 0x77);
  // WAVE format tags: MPEG (0x50) and MPEG Layer III (0x55).
  for (auto [name, tag] : {std::pair{"wave_mp2.wav", 0x50}, std::pair{"wave_mp3.wav", 0x55}}) {
    const auto w = load(name);
    ASSERT_GE(w.size(), 22u);
    EXPECT_EQ(std::memcmp(w.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(w.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(w[20] | (w[21] << 8), tag) << name;
  }
}

// Fields of every picture coding extension, as a set of distinct values.
struct PictureCoding {
  int intra_dc_precision, picture_structure, top_field_first, frame_pred_frame_dct, q_scale_type,
      intra_vlc_format, alternate_scan, progressive_frame;
  auto operator<=>(const PictureCoding &) const = default;
};

std::set<PictureCoding> picture_codings(const std::vector<uint8_t> &es) {
  std::set<PictureCoding> out;
  for (std::size_t i = 0; i + 9 <= es.size(); i++) {
    if (es[i] || es[i + 1] || es[i + 2] != 1 || es[i + 3] != 0xB5 || (es[i + 4] >> 4) != 8) continue;
    const uint8_t *p = es.data() + i + 4;  // bit 0 = first bit of the extension id
    auto bit = [p](int n) { return (p[n / 8] >> (7 - n % 8)) & 1; };
    out.insert(
        {bit(20) * 2 + bit(21), bit(22) * 2 + bit(23), bit(24), bit(25), bit(27), bit(28), bit(29), bit(32)});
  }
  return out;
}

TEST(TestMedia, VideoStreamsUseTheirCodingTools) {
  // Frame pictures throughout; the interlaced one top field first with
  // field prediction and field DCT allowed; the tools one with every option
  // (ffmpeg marks alternate-scan pictures interlaced, so their macroblocks
  // carry motion and DCT types too).
  EXPECT_EQ(picture_codings(load("video_mpeg2_progressive.m2v")),
            (std::set<PictureCoding>{{0, 3, 0, 1, 0, 0, 0, 1}}));
  EXPECT_EQ(picture_codings(load("video_mpeg2_interlaced.m2v")),
            (std::set<PictureCoding>{{0, 3, 1, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(picture_codings(load("video_mpeg2_tools.m2v")),
            (std::set<PictureCoding>{{2, 3, 0, 0, 1, 1, 1, 0}}));
  // MPEG-1 has no extensions.
  EXPECT_TRUE(picture_codings(load("video_mpeg1.m1v")).empty());
  EXPECT_TRUE(picture_codings(load("video_mpeg1_360x240.m1v")).empty());
}

// The cut stream is the open-GOP stream from its second sequence header on,
// and ffmpeg's pictures of it are the open-GOP stream's pictures 12 to 49.
TEST(TestMedia, StreamStartingWithBIsTheCutOpenGopStream) {
  const auto full = load("video_mpeg2_open_gop.m2v"), cut = load("video_starts_with_b.m2v");
  ASSERT_GT(full.size(), cut.size());
  ASSERT_GT(cut.size(), 4u);
  EXPECT_EQ(std::memcmp(cut.data(), "\x00\x00\x01\xB3", 4), 0);
  EXPECT_FALSE(first_difference(std::span(full).last(cut.size()), cut));
  const auto full_yuv = load("video_mpeg2_open_gop.m2v.yuv"), cut_yuv = load("video_starts_with_b.m2v.yuv");
  const std::size_t picture = yuv_picture_size(720, 576);
  ASSERT_EQ(full_yuv.size(), 50 * picture);
  const ByteComparison r = compare_bytes(std::span(full_yuv).subspan(12 * picture), cut_yuv);
  EXPECT_TRUE(r.identical()) << r.describe();
}

// References of the same stream agree: the copied elementary streams are
// what the system streams carry, and ffmpeg's pictures of the program
// stream look like its source (they are not grey or broken).
TEST(TestMedia, ReferencesAgreeWithEachOther) {
  for (const char *name : {"mpeg1_system.mpg", "mpeg2_ps.mpg", "vob_ac3_lpcm.vob", "ts_mpeg2.ts"}) {
    SCOPED_TRACE(name);
    const auto es = load(std::string(name) + ".video.es");
    ASSERT_GT(es.size(), 4u);
    EXPECT_EQ(std::memcmp(es.data(), "\x00\x00\x01\xB3", 4), 0);
    const auto audio = load(std::string(name) + ".audio.es");
    ASSERT_GT(audio.size(), 2u);
    EXPECT_TRUE(audio[0] == 0xFF && (audio[1] & 0xE0) == 0xE0);
  }
  // The same source and encoder settings feed the video of the program,
  // VOB and transport streams.
  EXPECT_TRUE(
      compare_files(media_path("mpeg2_ps.mpg.video.es"), media_path("ts_mpeg2.ts.video.es")).identical());
  // Consecutive pictures of moving detail differ, but not wildly.
  const auto yuv = load("mpeg2_ps.mpg.yuv");
  const PicturePsnr step = picture_psnr(yuv_picture(yuv, 720, 576, 10), yuv_picture(yuv, 720, 576, 11));
  EXPECT_LT(step.y, 40.0);
  EXPECT_GT(step.y, 8.0);
}

// The lossless LPCM and the Layer II track of the VOB come from one source:
// the decoded Layer II lines up with it at the delay of the analysis and
// synthesis filter banks (512 - 31 = 481 samples) and is close.
TEST(TestMedia, LayerTwoTrackMatchesTheLpcmTrack) {
  const auto lpcm = read_pcm_file(media_path("vob_ac3_lpcm.vob.lpcm.pcm"));
  const auto mp2 = read_pcm_file(media_path("vob_ac3_lpcm.vob.pcm"));
  ASSERT_TRUE(lpcm && mp2);
  const PcmComparison r = compare_pcm(*lpcm, *mp2, 2, 1152);
  EXPECT_EQ(r.lag, 481) << r.describe();
  EXPECT_GT(r.snr_db, 20.0) << r.describe();
  EXPECT_GT(r.frames_compared, 90000) << r.describe();
}

}  // namespace
}  // namespace testing_support
