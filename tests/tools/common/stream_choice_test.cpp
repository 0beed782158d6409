#include "tools/common/stream_choice.h"

#include <gtest/gtest.h>

#include <array>

namespace tools_common {
namespace {

// One DVD audio attribute record: coding, language code (or none), channels.
std::array<uint8_t, kDvdAudioRecordSize> audio_record(int coding, const char *lang, int channels) {
  std::array<uint8_t, kDvdAudioRecordSize> r{};
  r[0] = static_cast<uint8_t>(coding << 5 | (lang ? 1 << 2 : 0));
  r[1] = static_cast<uint8_t>(channels - 1);
  if (lang) r[2] = lang[0], r[3] = lang[1];
  return r;
}

std::vector<uint8_t> audio_records(std::initializer_list<std::array<uint8_t, kDvdAudioRecordSize>> rs) {
  std::vector<uint8_t> v;
  for (const auto &r : rs) v.insert(v.end(), r.begin(), r.end());
  return v;
}

TEST(StreamChoice, DvdAudioLabelsAndNumbers) {
  LanguageNames names;
  names.apply_lcd("de Deutsch");
  const StreamLabelTexts texts;
  // AC-3 English, MPEG German (numbered 0xC1 by the record, 0xC0 in the
  // stream as authoring tools number per coding), LPCM without a code,
  // an unknown code and an unknown coding.
  const auto recs =
      audio_records({audio_record(0, "en", 2), audio_record(2, "de", 2), audio_record(4, nullptr, 6),
                     audio_record(0, "qq", 1), audio_record(5, "en", 2)});
  const auto c = dvd_audio_choice(recs.data(), 5, {0x80, 0xA0, 0xC0}, 0xC0, names, texts);
  ASSERT_EQ(c.entries.size(), 5u);
  EXPECT_EQ(c.entries[0].label, "English\t(AUDIO)[2]");
  EXPECT_EQ(c.entries[0].id, 0x80);
  EXPECT_EQ(c.entries[1].label, "Deutsch\t(MPEG)[2]");
  EXPECT_EQ(c.entries[1].id, 0xC0);
  EXPECT_EQ(c.entries[2].label, "Language [160][6]");
  EXPECT_EQ(c.entries[2].id, 0xA0);  // recorded 0xA2, the first LPCM seen is 0xA0
  EXPECT_EQ(c.entries[3].label, "Language [131][1]");
  EXPECT_EQ(c.entries[3].id, 0x83);  // no second AC-3 seen: kept as recorded
  EXPECT_EQ(c.entries[4].id, 0);
  EXPECT_EQ(c.selected, 1);
  EXPECT_TRUE(c.enabled);
}

TEST(StreamChoice, DvdCountsAreCappedAtTheirRecords) {
  LanguageNames names;
  std::vector<uint8_t> recs(200 * kDvdAudioRecordSize, 0);
  EXPECT_EQ(dvd_audio_choice(recs.data(), 200, {}, -1, names, {}).entries.size(), 8u);
  std::vector<uint8_t> spu(200 * kDvdSpuRecordSize, 0);
  EXPECT_EQ(dvd_spu_choice(spu.data(), 200, -1, names, {}).entries.size(), 33u);  // + "No Subpicture"
  EXPECT_TRUE(dvd_audio_choice(recs.data(), -3, {}, -1, names, {}).entries.empty());
  EXPECT_TRUE(dvd_audio_choice(nullptr, 5, {}, -1, names, {}).entries.empty());
}

TEST(StreamChoice, SubpicturesAndAngles) {
  LanguageNames names;
  const uint8_t spu[2 * kDvdSpuRecordSize] = {1, 0, 'f', 'r', 0, 0, 0, 0, 'e', 'n', 0, 0};
  auto s = dvd_spu_choice(spu, 2, -1, names, {});
  ASSERT_EQ(s.entries.size(), 3u);
  EXPECT_EQ(s.entries[0].label, "French");
  EXPECT_EQ(s.entries[1].label, "Subpicture [1]");
  EXPECT_EQ(s.entries[2].label, "No Subpicture");
  EXPECT_EQ(s.entries[2].id, kNoSubpicture);
  EXPECT_EQ(s.selected, 2);
  EXPECT_TRUE(s.enabled);
  // Nothing selected: the first entry shows and the list is disabled.
  s = plain_spu_choice({0x21, 0x20}, 0x25, {});
  EXPECT_EQ(s.entries[0].label, "Subpicture [32]");
  EXPECT_EQ(s.selected, 0);
  EXPECT_FALSE(s.enabled);

  auto a = plain_audio_choice({0x80, 0xC0}, 0x80, {});
  EXPECT_EQ(a.entries[1].label, "Audio Stream [c0]");
  EXPECT_EQ(a.selected, 0);
  EXPECT_FALSE(plain_audio_choice({}, -1, {}).enabled);

  auto g = angle_choice(3, 2, false, {});
  EXPECT_EQ(g.entries[g.selected].label, "Angle [2]");
  EXPECT_TRUE(g.enabled);
  EXPECT_FALSE(angle_choice(3, 0, false, {}).enabled);
  auto p = angle_choice(0, 0, true, {});
  ASSERT_EQ(p.entries.size(), 1u);
  EXPECT_EQ(p.entries[0].label, "Any Angle");
}

}  // namespace
}  // namespace tools_common
