// A byte ring of demultiplexed elementary data. The parse step writes at
// the write index, one reader consumes at the read index; each index is a
// single aligned word written by one side only, so no lock is needed.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace dravik {

class Ring {
 public:
  /// size must be a power of two.
  explicit Ring(uint32_t size);
  Ring(const Ring &) = delete;
  Ring &operator=(const Ring &) = delete;

  uint32_t size() const { return size_; }
  uint32_t read_index() const { return read_.load(std::memory_order_acquire); }
  uint32_t write_index() const { return write_.load(std::memory_order_acquire); }
  /// (write - read) mod size.
  uint32_t available() const { return (write_index() - read_index()) & mask_; }

  /// Appends n bytes at the write index, wrapping. The caller keeps within
  /// the free space; nothing checks that the writer overtakes the reader.
  void write(const uint8_t *src, uint32_t n);
  /// Copies n bytes from the read index into dst and advances it.
  void read(uint8_t *dst, uint32_t n);
  /// Copies n bytes from the read index without advancing it.
  void peek(uint8_t *dst, uint32_t n) const;
  /// Overwrites the n bytes at the read index with zeros (index unchanged).
  void zero_front(uint32_t n);
  /// The byte at offset i (wrapped).
  uint8_t at(uint32_t i) const { return data_[i & mask_]; }
  uint8_t *data() { return data_.get(); }

  void set_write_index(uint32_t i) { write_.store(i & mask_, std::memory_order_release); }
  void set_read_index(uint32_t i) { read_.store(i & mask_, std::memory_order_release); }
  /// Both indexes to 0.
  void clear();

  /// First offset between read and write holding 00 00 01 00 (returned as
  /// is) or 00 00 01 B7 (returned 4 bytes past its start). -1 if none.
  int64_t find_picture_or_end() const;

 private:
  const uint32_t size_;
  const uint32_t mask_;
  // Zeroed by calloc: the pages of a ring a source never fills (the video
  // ring of a sound file) cost no memory and no start-up time.
  struct FreeBytes {
    void operator()(uint8_t *p) const { std::free(p); }
  };
  std::unique_ptr<uint8_t[], FreeBytes> data_;
  std::atomic<uint32_t> write_{0};
  std::atomic<uint32_t> read_{0};
};

}  // namespace dravik
