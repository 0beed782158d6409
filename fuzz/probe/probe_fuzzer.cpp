// The content probe over arbitrary bytes: it must classify, never crash,
// read out of bounds or hang.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "media/source/content_probe.h"
#include "media/source/path_forms.h"

namespace {

class MemoryInput : public dravik::ProbeInput {
 public:
  MemoryInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  int32_t read(void *buf, int32_t len) override {
    size_t n = size_ - pos_ < static_cast<size_t>(len) ? size_ - pos_ : static_cast<size_t>(len);
    if (n) std::memcpy(buf, data_ + pos_, n);
    pos_ += n;
    return static_cast<int32_t>(n);
  }
  bool seek(int64_t pos) override {
    if (pos < 0 || static_cast<size_t>(pos) > size_) return false;
    pos_ = static_cast<size_t>(pos);
    return true;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  MemoryInput in(data, size);
  dravik::ContentVerdict v = dravik::classify_content(in);
  if (v.kind < -1 || v.kind > 3) __builtin_trap();
  // The same bytes as a path buffer with binary fields.
  dravik::parse_path_buffer(data, static_cast<int64_t>(size));
  return 0;
}
