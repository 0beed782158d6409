// What extraction keeps while a source is being split into files: the
// scratch buffer each payload is gathered into, the output of every stream
// (made on first use) and the count of outputs lost.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace dravik {

/// The kinds of the writer callback, in its numbering.
enum class ExtractKind : int32_t { video, subpicture, lpcm, ac3, mpeg_audio, ext_audio, dts, sdds };
constexpr int32_t kExtractKinds = 8;
/// Streams per kind: 16 video, 32 subpicture, 8 of every other kind.
constexpr int32_t kExtractSlots = 32;
/// Room for the largest payload (a rebuilt transport-stream packet) behind
/// the longest record header.
constexpr int32_t kExtractHeaderRoom = 16;
constexpr int32_t kExtractScratchBytes = kExtractHeaderRoom + 0x10000;

struct ExtractOutput {
  int fd = -1;
  bool lost = false;  // failed to be created or written: closed for good
  std::string path;   // the path created (after the name hook)
};

struct ExtractState {
  ExtractState();
  ~ExtractState();
  ExtractState(const ExtractState &) = delete;
  ExtractState &operator=(const ExtractState &) = delete;

  std::unique_ptr<uint8_t[]> scratch;
  ExtractOutput outputs[kExtractKinds][kExtractSlots];
  int32_t failures = 0;  // outputs lost in this extraction
};

}  // namespace dravik
