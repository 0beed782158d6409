// The reader's own records, shared by its files and by nothing else.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/avi/avi_reader.h"

namespace platform::avi {

constexpr uint32_t kRiff = fourcc('R', 'I', 'F', 'F');
constexpr uint32_t kList = fourcc('L', 'I', 'S', 'T');
constexpr uint32_t kAvi = fourcc('A', 'V', 'I', ' ');
constexpr uint32_t kAvix = fourcc('A', 'V', 'I', 'X');
constexpr uint32_t kHdrl = fourcc('h', 'd', 'r', 'l');
constexpr uint32_t kMovi = fourcc('m', 'o', 'v', 'i');
constexpr uint32_t kRec = fourcc('r', 'e', 'c', ' ');
constexpr uint32_t kIdx1 = fourcc('i', 'd', 'x', '1');

/// Upper bound of a header list read into memory.
constexpr int64_t kMaxHeaderList = 16 << 20;

inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t le64(const uint8_t *p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }

/// A movi list: where its chunks start and end (inside the file).
struct MoviRegion {
  int64_t list_start = 0;  // offset of the 'movi' word, base of relative idx1
  int64_t data_start = 0;
  int64_t end = 0;
};

struct Stream {
  const File *file = nullptr;
  int32_t number = 0;
  StreamHeader header;
  std::vector<uint8_t> format;
  std::vector<uint8_t> super_index;  // indx bytes
  std::string name;
  std::vector<IndexEntry> index;
  std::vector<int64_t> keys;  // entry numbers of key frames
  int64_t total_bytes = 0;
  bool intra_only = false;
};

struct File {
  int fd = -1;
  FileInfo info;
  std::vector<std::unique_ptr<Stream>> all;  // by stream number
  std::vector<Stream *> kept;
  std::vector<MoviRegion> movi;
  int64_t idx1_offset = -1;  // data of idx1
  uint32_t idx1_size = 0;
};

/// Parses the header list bytes into file->main and file->all.
void parse_header_list(File *file, const uint8_t *data, int64_t size);
/// Builds the index of every stream and fixes the headers that depend on it.
void build_index(File *file);
/// Whether a video chunk starting with head (n bytes) is a key frame for
/// the stream's codec.
bool is_key_frame(const Stream &s, const uint8_t *head, int64_t n);
/// Bytes read of the chunk start when judging key frames.
constexpr int64_t kKeyProbeBytes = 4096;
/// True for codecs whose every frame is a key frame.
bool codec_is_intra_only(const Stream &s);
/// The codec's FourCC: biCompression of a video format, else the handler.
uint32_t video_codec(const Stream &s);
/// A chunk id "##xx": -> the stream number, or -1.
int32_t chunk_stream(uint32_t id);

}  // namespace platform::avi
