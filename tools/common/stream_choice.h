// The stream choices a converter offers for its source: audio streams,
// subpictures and angles, each as a list of labelled entries carrying the
// number the media layer selects by. Built from the DVD attribute records
// (title information) or, for other sources, from the ids the media layer
// has seen. Pure data in, entries out: the window and the tests feed it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/language_names.h"

namespace tools_common {

/// Caps on the DVD records read (a title set holds at most these).
inline constexpr int kDvdAudioRecordsMax = 8;
inline constexpr int kDvdSpuRecordsMax = 32;
inline constexpr int kDvdAudioRecordSize = 8;
inline constexpr int kDvdSpuRecordSize = 6;
/// The id an entry carries for "No Subpicture" and the angle of "Any Angle".
inline constexpr int32_t kNoSubpicture = -1;
inline constexpr int32_t kAnyAngle = 0;

/// Texts of the labels (translated by the caller). Each fills one number.
struct StreamLabelTexts {
  std::string audio_stream = "Audio Stream [%x]";  // id, other sources
  std::string language = "Language [%d]";          // DVD stream number
  std::string subpicture = "Subpicture [%d]";      // index or id
  std::string no_subpicture = "No Subpicture";
  std::string angle = "Angle [%d]";
  std::string any_angle = "Any Angle";
};

struct StreamEntry {
  std::string label;
  int32_t id;
};

/// One list: its entries, the selected index (-1 none) and whether the
/// list may be used.
struct StreamChoice {
  std::vector<StreamEntry> entries;
  int selected = -1;
  bool enabled = false;

  /// Index of the entry carrying id, -1 when none does.
  int index_of(int32_t id) const;
};

/// DVD audio streams from count records of 8 bytes (capped at
/// kDvdAudioRecordsMax). seen_ids are the audio ids the media layer has
/// found (CTL_AUDIO_LIST): a record's number that is not among them (some
/// authoring tools number MPEG streams per coding) is replaced by the seen
/// id of the same coding and rank, when there is one. current is
/// CTL_AUDIO_CURRENT.
StreamChoice dvd_audio_choice(const uint8_t *records, int32_t count, const std::vector<int32_t> &seen_ids,
                              int32_t current, const LanguageNames &names, const StreamLabelTexts &texts);
/// Audio of other sources: one entry per seen id.
StreamChoice plain_audio_choice(const std::vector<int32_t> &seen_ids, int32_t current,
                                const StreamLabelTexts &texts);
/// DVD subpictures from count records of 6 bytes (capped), then "No
/// Subpicture" (-1). current is CTL_SPU_CURRENT (-1 none).
StreamChoice dvd_spu_choice(const uint8_t *records, int32_t count, int32_t current,
                            const LanguageNames &names, const StreamLabelTexts &texts);
/// Subpictures of other sources: the sorted seen ids, then "No Subpicture".
StreamChoice plain_spu_choice(const std::vector<int32_t> &seen_ids, int32_t current,
                              const StreamLabelTexts &texts);
/// Angles 1..count; with current 0 the list is disabled. popup adds "Any
/// Angle" (0) first.
StreamChoice angle_choice(int32_t count, int32_t current, bool popup, const StreamLabelTexts &texts);

/// The stream number a DVD audio record names by its coding (top three bits
/// of byte 0) for stream k: AC-3 0x80+k, MPEG-1 0xC0+k, MPEG-2 extension
/// 0xD0+k, LPCM 0xA0+k, DTS 0x88+k, SDDS 0x90+k, others 0.
int32_t dvd_audio_stream_number(uint8_t first_byte, int k);

}  // namespace tools_common
