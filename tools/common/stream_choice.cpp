#include "tools/common/stream_choice.h"

#include <algorithm>

#include "tools/common/text_format.h"

namespace tools_common {
namespace {

enum AudioCoding { kAc3 = 0, kMpeg1 = 2, kMpeg2Ext = 3, kLpcm = 4, kDts = 6, kSdds = 7 };

int coding_of(uint8_t first_byte) { return first_byte >> 5; }

const char *coding_tag(int coding) {
  switch (coding) {
    case kAc3:
      return "\t(AUDIO)";
    case kMpeg1:
      return "\t(MPEG)";
    case kMpeg2Ext:
      return "\t(MPEG Ext)";
    case kLpcm:
      return "\t(LPCM)";
    case kDts:
      return "\t(DTS)";
    case kSdds:
      return "\t(SDDS)";
    default:
      return "";
  }
}

// The range of ids a coding's streams take in the media layer.
bool coding_range(int coding, int32_t *first, int32_t *last) {
  switch (coding) {
    case kAc3:
      *first = 0x80, *last = 0x87;
      return true;
    case kMpeg1:
    case kMpeg2Ext:
      *first = 0xC0, *last = 0xDF;
      return true;
    case kLpcm:
      *first = 0xA0, *last = 0xA7;
      return true;
    case kDts:
      *first = 0x88, *last = 0x8F;
      return true;
    case kSdds:
      *first = 0x90, *last = 0x97;
      return true;
    default:
      return false;
  }
}

void select_current(StreamChoice &c, int32_t current) {
  c.selected = c.index_of(current);
  c.enabled = !c.entries.empty();
}

}  // namespace

int StreamChoice::index_of(int32_t id) const {
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].id == id) return static_cast<int>(i);
  return -1;
}

int32_t dvd_audio_stream_number(uint8_t first_byte, int k) {
  switch (coding_of(first_byte)) {
    case kAc3:
      return 0x80 + k;
    case kMpeg1:
      return 0xC0 + k;
    case kMpeg2Ext:
      return 0xD0 + k;
    case kLpcm:
      return 0xA0 + k;
    case kDts:
      return 0x88 + k;
    case kSdds:
      return 0x90 + k;
    default:
      return 0;
  }
}

StreamChoice dvd_audio_choice(const uint8_t *records, int32_t count, const std::vector<int32_t> &seen_ids,
                              int32_t current, const LanguageNames &names, const StreamLabelTexts &texts) {
  StreamChoice c;
  if (!records || count <= 0) return c;
  count = std::min(count, kDvdAudioRecordsMax);
  for (int k = 0; k < count; ++k) {
    const uint8_t *r = records + k * kDvdAudioRecordSize;
    const int coding = coding_of(r[0]);
    int32_t number = dvd_audio_stream_number(r[0], k);
    int32_t first = 0, last = 0;
    if (number != 0 && !seen_ids.empty() && coding_range(coding, &first, &last) &&
        std::find(seen_ids.begin(), seen_ids.end(), number) == seen_ids.end()) {
      int rank = 0;
      for (int j = 0; j < k; ++j)
        if (coding_of(records[j * kDvdAudioRecordSize]) == coding) ++rank;
      std::vector<int32_t> same;
      for (const int32_t id : seen_ids)
        if (id >= first && id <= last) same.push_back(id);
      std::sort(same.begin(), same.end());
      if (rank < static_cast<int>(same.size())) number = same[rank];
    }
    const bool has_code = ((r[0] >> 2) & 3) == 1;
    const char *name = has_code ? names.find(r[2], r[3]) : nullptr;
    std::string label =
        name ? std::string(name) + coding_tag(coding) : format_text(texts.language, {int32_t{number}});
    label += format_text("[%d]", {int32_t{(r[1] & 7) + 1}});
    c.entries.push_back({label, number});
  }
  select_current(c, current);
  return c;
}

StreamChoice plain_audio_choice(const std::vector<int32_t> &seen_ids, int32_t current,
                                const StreamLabelTexts &texts) {
  StreamChoice c;
  for (const int32_t id : seen_ids) c.entries.push_back({format_text(texts.audio_stream, {id}), id});
  select_current(c, current);
  return c;
}

namespace {

void finish_spu(StreamChoice &c, int32_t current, const StreamLabelTexts &texts) {
  c.entries.push_back({texts.no_subpicture, kNoSubpicture});
  c.selected = c.index_of(current);
  c.enabled = c.selected >= 0;
  if (c.selected < 0) c.selected = 0;
}

}  // namespace

StreamChoice dvd_spu_choice(const uint8_t *records, int32_t count, int32_t current,
                            const LanguageNames &names, const StreamLabelTexts &texts) {
  StreamChoice c;
  count = records ? std::min(count, kDvdSpuRecordsMax) : 0;
  for (int k = 0; k < count; ++k) {
    const uint8_t *r = records + k * kDvdSpuRecordSize;
    const char *name = (r[0] & 3) == 1 ? names.find(r[2], r[3]) : nullptr;
    c.entries.push_back({name ? std::string(name) : format_text(texts.subpicture, {int32_t{k}}), k});
  }
  finish_spu(c, current, texts);
  return c;
}

StreamChoice plain_spu_choice(const std::vector<int32_t> &seen_ids, int32_t current,
                              const StreamLabelTexts &texts) {
  StreamChoice c;
  std::vector<int32_t> ids = seen_ids;
  std::sort(ids.begin(), ids.end());
  for (const int32_t id : ids) c.entries.push_back({format_text(texts.subpicture, {id}), id});
  finish_spu(c, current, texts);
  return c;
}

StreamChoice angle_choice(int32_t count, int32_t current, bool popup, const StreamLabelTexts &texts) {
  StreamChoice c;
  if (popup) c.entries.push_back({texts.any_angle, kAnyAngle});
  for (int32_t a = 1; a <= count; ++a) c.entries.push_back({format_text(texts.angle, {a}), a});
  c.selected = c.index_of(current);
  c.enabled = popup ? true : current != kAnyAngle && count > 0;
  return c;
}

}  // namespace tools_common
