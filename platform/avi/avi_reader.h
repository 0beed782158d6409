// Our own reader of RIFF AVI files ('AVI ' plus OpenDML 'AVIX' parts,
// 64-bit offsets) with the calls the programs make of such a service:
// file and stream information, format bytes, sample reads, key-frame
// search and sample/time conversion. The index of every stream comes from
// the OpenDML indexes (indx -> ix##), else from idx1, and is rebuilt from
// the chunk headers wherever those are missing, short or wrong.
//
// Reads use pread on one descriptor and the index never changes after the
// open, so any number of threads may read one file at the same time.
#pragma once

#include <cstdint>
#include <vector>

namespace platform::avi {

constexpr uint32_t fourcc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

constexpr uint32_t kTypeVideo = fourcc('v', 'i', 'd', 's');
constexpr uint32_t kTypeAudio = fourcc('a', 'u', 'd', 's');

/// Bytes of a BITMAPINFOHEADER and of a WAVEFORMATEX (with cbSize).
constexpr int32_t kBitmapHeaderBytes = 40;
constexpr int32_t kWaveFormatBytes = 18;
constexpr uint16_t kWaveFormatPcm = 1;

/// The avih chunk, as stored.
struct MainHeader {
  uint32_t micro_sec_per_frame = 0;
  uint32_t max_bytes_per_sec = 0;
  uint32_t padding_granularity = 0;
  uint32_t flags = 0;
  uint32_t total_frames = 0;
  uint32_t initial_frames = 0;
  uint32_t streams = 0;
  uint32_t suggested_buffer_size = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

/// Every strh field. After the open, scale and rate are non-zero, length is
/// the number of samples the index holds (not the stored dwLength) and the
/// suggested buffer holds at least the largest chunk.
struct StreamHeader {
  uint32_t type = 0;
  uint32_t handler = 0;
  uint32_t flags = 0;
  uint16_t priority = 0;
  uint16_t language = 0;
  uint32_t initial_frames = 0;
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t start = 0;
  uint32_t length = 0;
  uint32_t suggested_buffer_size = 0;
  uint32_t quality = 0;
  uint32_t sample_size = 0;
  int16_t frame[4] = {0, 0, 0, 0};
};

enum class IndexSource { none, odml, idx1, rebuilt };

/// One chunk of a stream: where its data starts, its size, whether it is a
/// key frame, and the bytes of the stream before it.
struct IndexEntry {
  int64_t offset = 0;
  uint32_t size = 0;
  bool key = false;
  int64_t bytes_before = 0;
};

struct File;
struct Stream;

struct FileInfo {
  MainHeader main;
  int64_t file_size = 0;
  int32_t streams = 0;  // streams kept (those with a usable rate)
  int32_t riffs = 0;    // 'AVI ' plus 'AVIX' parts
  IndexSource index_source = IndexSource::none;
  bool index_completed = false;  // part of the index was rebuilt from chunks
};

enum class OpenDepth { headers, full };

/// Opens path; headers only reads the header list (for a probe). -> the
/// file, or nullptr when it is not a readable AVI file.
File *open(const char *path, OpenDepth depth = OpenDepth::full);
void release(File *file);

const FileInfo &file_info(const File *file);
int32_t stream_count(const File *file);
/// -> stream i (0-based) or nullptr.
Stream *stream(const File *file, int32_t i);

const StreamHeader &stream_header(const Stream *s);
/// The stream number of its chunk ids ("##dc").
int32_t stream_number(const Stream *s);
/// First sample (dwStart) and end sample (first + samples in the index).
int64_t stream_start(const Stream *s);
int64_t stream_end(const Stream *s);
/// The stream's name (strn), empty when none.
const char *stream_name(const Stream *s);
const std::vector<IndexEntry> &stream_index(const Stream *s);

/// Copies the format (a whole BITMAPINFOHEADER or WAVEFORMATEX, palette and
/// extra bytes clamped to what the file holds) into dst when it fits cap
/// bytes (dst may be null to ask). -> the format's size.
int32_t read_format(const Stream *s, void *dst, int32_t cap);
/// The format bytes themselves.
const std::vector<uint8_t> &format(const Stream *s);

/// samples = kReadConvenient reads what fits: one chunk for streams of
/// sample size 0, else as many whole samples as fit in cap, across chunks.
constexpr int32_t kReadConvenient = -1;
/// Reads from sample start. With dst null only the sizes are answered.
/// -> 0 with *bytes and *samples set, or -1 (outside the stream, a chunk
/// larger than cap, a failed read).
int32_t read(const Stream *s, int64_t start, int32_t samples, void *dst, int32_t cap, int32_t *bytes,
             int32_t *samples_read);

enum FindFlags : int32_t {
  kFindNext = 0x1,
  kFindPrev = 0x4,
  kFindKey = 0x10,
  kFindAny = 0x20,
};
/// The key (or any) sample at or after (kFindNext) / at or before
/// (kFindPrev) pos; -1 when there is none.
int64_t find_sample(const Stream *s, int64_t pos, int32_t flags);
/// Number of key entries in the stream.
int64_t key_count(const Stream *s);

/// Sample number <-> milliseconds, rounded to the nearest.
int64_t sample_to_time(const Stream *s, int64_t sample);
int64_t time_to_sample(const Stream *s, int64_t ms);

/// Reads n bytes at offset of the file into dst; -> bytes read or -1.
int64_t read_at(const File *file, int64_t offset, void *dst, int64_t n);
const File *stream_file(const Stream *s);

const char *index_source_name(IndexSource source);

}  // namespace platform::avi
