#include "audio/push_queue.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "audio/decode/pcm_modes.h"

namespace lunaret {

namespace {

int32_t sample_at(const uint8_t *p, int32_t bits) {
  // 8-bit PCM is unsigned: its middle, 128, is silence.
  if (bits == 8) return (static_cast<int32_t>(p[0]) - 128) << 8;
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}

}  // namespace

PushQueue::PushQueue() {
  // Retiring a block never allocates.
  spare_.reserve(kMaxBlocks);
}

void PushQueue::configure(const PushFormat &f) {
  std::lock_guard<std::mutex> lock(m_);
  format_ = f;
  while (count_ > 0) pop_front();
  carry_bytes_ = 0;
}

void PushQueue::set_accepting(bool on) {
  std::lock_guard<std::mutex> lock(m_);
  accepting_ = on;
}

void PushQueue::clear() {
  std::lock_guard<std::mutex> lock(m_);
  while (count_ > 0) pop_front();
  carry_bytes_ = 0;
}

int32_t PushQueue::queued() const {
  std::lock_guard<std::mutex> lock(m_);
  return count_;
}

std::unique_ptr<PushQueue::Block> PushQueue::spare_block() {
  if (spare_.empty()) return std::make_unique<Block>();
  std::unique_ptr<Block> b = std::move(spare_.back());
  spare_.pop_back();
  return b;
}

void PushQueue::retire(std::unique_ptr<Block> b) {
  // Queued and spare blocks together stay within kMaxBlocks.
  if (count_ + static_cast<int32_t>(spare_.size()) < kMaxBlocks) spare_.push_back(std::move(b));
}

void PushQueue::pop_front() {
  std::unique_ptr<Block> b = std::move(ring_[head_]);
  head_ = (head_ + 1) % kMaxBlocks;
  --count_;
  b->pos = 0;
  retire(std::move(b));
}

void PushQueue::convert(const uint8_t *src, int32_t frames, int16_t *dst) const {
  const int32_t ch = format_.channels;
  const int32_t width = format_.bits / 8;
  if (ch <= 2) {
    const int32_t n = frames * ch;
    for (int32_t i = 0; i < n; ++i) dst[i] = static_cast<int16_t>(sample_at(src + i * width, format_.bits));
    return;
  }
  int32_t s[PushFormat::kMaxChannels];
  for (int32_t f = 0; f < frames; ++f) {
    const uint8_t *p = src + static_cast<size_t>(f) * format_.frame_bytes();
    for (int32_t c = 0; c < ch; ++c) s[c] = sample_at(p + c * width, format_.bits);
    downmix_frame(s, ch, dst + 2 * f);
  }
}

int32_t PushQueue::push(const void *data, int32_t length) {
  int32_t queued_now;
  {
    std::lock_guard<std::mutex> lock(m_);
    if (!accepting_) return 0;
    const auto *src = static_cast<const uint8_t *>(data);
    if (src && length > 0) {
      const int32_t fb = format_.frame_bytes();
      const int64_t total = static_cast<int64_t>(carry_bytes_) + length;
      const int64_t frames = total / fb;
      if (frames > 0) {
        if (count_ == kMaxBlocks) pop_front();  // the oldest makes room
        std::unique_ptr<Block> b;
        try {
          b = spare_block();
          b->pcm.resize(static_cast<size_t>(frames * format_.out_channels()));
        } catch (const std::bad_alloc &) {
          // No room for this push: it is lost, the queue stays as it was.
          if (b) retire(std::move(b));
          carry_bytes_ = 0;
          return count_;
        }
        b->pos = 0;
        int16_t *out = b->pcm.data();
        int64_t done = 0;
        if (carry_bytes_ > 0) {
          // The frame the previous push began.
          const int32_t need = fb - carry_bytes_;
          std::memcpy(carry_.data() + carry_bytes_, src, static_cast<size_t>(need));
          convert(carry_.data(), 1, out);
          out += format_.out_channels();
          src += need;
          length -= need;
          carry_bytes_ = 0;
          done = 1;
        }
        const int32_t whole = static_cast<int32_t>(frames - done);
        convert(src, whole, out);
        src += static_cast<size_t>(whole) * fb;
        length -= whole * fb;
        ring_[(head_ + count_) % kMaxBlocks] = std::move(b);
        ++count_;
      }
      // What is left is less than a frame.
      std::memcpy(carry_.data() + carry_bytes_, src, static_cast<size_t>(length));
      carry_bytes_ += length;
    }
    queued_now = count_;
    ++wakes_;
  }
  cv_.notify_all();
  return queued_now;
}

PushQueue::Wait PushQueue::wait(const std::atomic<bool> &stop, uint32_t step_ms) {
  std::unique_lock<std::mutex> lock(m_);
  const uint64_t seen = wakes_;
  const auto done = [&] { return count_ > 0 || stop.load() || wakes_ != seen; };
  if (!done()) {
    reader_waiting.set();
    cv_.wait_for(lock, std::chrono::milliseconds(step_ms), done);
    reader_waiting.clear();
  }
  if (count_ > 0) return Wait::ready;
  return stop.load() ? Wait::stopped : Wait::timeout;
}

void PushQueue::wake() {
  {
    std::lock_guard<std::mutex> lock(m_);
    ++wakes_;
  }
  cv_.notify_all();
}

int32_t PushQueue::take(int16_t *dst, int32_t max_values) {
  std::lock_guard<std::mutex> lock(m_);
  const int32_t oc = format_.out_channels();
  max_values -= max_values % oc;
  int32_t got = 0;
  while (count_ > 0 && got < max_values) {
    Block &b = *ring_[head_];
    const size_t left = b.pcm.size() - b.pos;
    const size_t n = std::min(left, static_cast<size_t>(max_values - got));
    std::memcpy(dst + got, b.pcm.data() + b.pos, n * sizeof(int16_t));
    got += static_cast<int32_t>(n);
    b.pos += n;
    if (b.pos == b.pcm.size()) pop_front();
  }
  return got;
}

}  // namespace lunaret
