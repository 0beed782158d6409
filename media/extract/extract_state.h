// What extraction keeps while a source is being split into files (the
// scratch buffer each payload is gathered into, the output of every stream,
// made on first use, and the count of outputs lost), and what segment
// saving keeps between its commands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/hooks/file_layer.h"

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
  LayerFile file;     // through table C or the OS
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

/// Segment saving: the reading state saved by the begin and restored by
/// the finish, the block in hand and the SCR counter of written packs.
struct SegmentState {
  bool active = false;
  int64_t saved_next = 0;       // source position of the parser's next block
  int64_t saved_block_pos = 0;  // where the parser's block was read from
  bool saved_end = false;
  std::unique_ptr<uint8_t[]> block;  // one source block (raw sectors: payloads)
  int32_t fill = 0;
  bool raw = false;                      // raw sectors: written as 2324-byte payloads
  uint64_t scr = 0;                      // 90 kHz, advanced by 1200 per written pack
  bool audio_started = false;            // the first audio packet was cut to a sync word
  bool failed = false;                   // a write failed
  bool mpeg2 = false;                    // the packs at the segment start are MPEG-2
  std::vector<uint8_t> sequence_header;  // the source's first, for the template
};

}  // namespace dravik
