// A fuzz input as the pull source of a stream reader: the first byte is
// the harness's mode (which also picks how many bytes a read hands out),
// the rest is served from an allocation of exactly its size, so reads past
// it are caught.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fuzz_support {

class PacedInput {
 public:
  /// size must be at least 1.
  PacedInput(const uint8_t *data, size_t size) : mode_(data[0]), body_(data + 1, data + size) {}

  uint8_t mode() const { return mode_; }
  /// Most bytes one read hands out.
  void set_max_read(int32_t n) { max_read_ = n; }

  /// The reader's callback; ctx is the PacedInput.
  static int32_t read(void *ctx, void *dst, int32_t len) {
    auto *in = static_cast<PacedInput *>(ctx);
    const size_t n =
        std::min({size_t(len < 0 ? 0 : len), size_t(in->max_read_), in->body_.size() - in->pos_});
    if (n) std::memcpy(dst, in->body_.data() + in->pos_, n);
    in->pos_ += n;
    return int32_t(n);
  }

 private:
  uint8_t mode_;
  std::vector<uint8_t> body_;
  size_t pos_ = 0;
  int32_t max_read_ = 1;
};

}  // namespace fuzz_support
