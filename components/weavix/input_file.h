// An elementary-stream input file: its size, what its first bytes hold, and
// a byte source over it for the framers.
#pragma once

#include <cstdint>
#include <string>

#include "components/weavix/byte_window.h"

namespace weavix {

enum class StreamKind { absent, video, audio, unknown };

/// How far into an input the recognition and the framers' start look.
inline constexpr size_t kRecognitionBytes = 1u << 20;

/// What a stretch of leading bytes holds: video when a sequence header comes
/// first, audio when two MPEG audio frames in a row come first.
StreamKind recognise_stream(const uint8_t *p, size_t n, bool whole_input);

class InputFile final : public ByteSource {
 public:
  InputFile() = default;
  ~InputFile() override;
  InputFile(const InputFile &) = delete;
  InputFile &operator=(const InputFile &) = delete;

  /// Opens path (null or empty counts as absent) and recognises its
  /// content. kind() is absent for a missing or empty file.
  void open(const char *path);
  StreamKind kind() const { return kind_; }
  uint64_t size() const { return size_; }
  /// Reads from the start again.
  void rewind();
  int64_t read(uint8_t *dst, size_t n) override;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  StreamKind kind_ = StreamKind::absent;
};

/// A byte source over memory (the fuzz harness and tests).
class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  int64_t read(uint8_t *dst, size_t n) override;

 private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace weavix
