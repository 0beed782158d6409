// The stream Rivenne serves: a transport-stream capture file or a DVR
// device, read as it comes, with the stream mix found in its first
// packets.
#pragma once

#include <cstdint>
#include <string>

namespace rivenne {

class Capture {
 public:
  ~Capture() { close(); }
  /// Names the file or device the next open reads.
  void name(const char *path) { path_ = path ? path : ""; }
  bool open();
  void close();
  int32_t read(void *buf, int32_t len);
  int64_t seek(int64_t pos, int32_t origin);
  /// Size in bytes (a device that cannot tell: the largest int32).
  int64_t size() const;
  /// SourceKind: 0 when the named stream opens, -1 otherwise.
  int32_t kind() const;
  /// Stream mix: 0/1 video and audio (first video 0xE0 or not), 3 video
  /// only, 2 otherwise.
  int32_t mix() const;

 private:
  std::string path_;
  int fd_ = -1;
};

/// The mix of the PES streams starting in n bytes of transport packets.
int32_t stream_mix(const uint8_t *ts, size_t n);

}  // namespace rivenne
