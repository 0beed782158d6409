// A big file that costs almost no disk: copies of a small real stream
// written at chosen offsets of a sparse file of the wanted length. The file
// is removed when the object goes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testing_support {

class SparseFile {
 public:
  /// path: where to make it; length: its size in bytes; pattern: the file
  /// whose bytes are copied to each of offsets. ok() tells whether all went.
  SparseFile(std::string path, int64_t length, const std::string &pattern,
             const std::vector<int64_t> &offsets)
      : path_(std::move(path)) {
    std::ifstream in(pattern, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const int fd = ::open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0 || bytes_.empty()) {
      if (fd >= 0) ::close(fd);
      return;
    }
    bool ok = ::ftruncate(fd, length) == 0;
    for (int64_t at : offsets) {
      ok = ok && at >= 0 && at + static_cast<int64_t>(bytes_.size()) <= length &&
           ::pwrite(fd, bytes_.data(), bytes_.size(), at) == static_cast<ssize_t>(bytes_.size());
    }
    ok_ = ::close(fd) == 0 && ok;
  }
  ~SparseFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  SparseFile(const SparseFile &) = delete;
  SparseFile &operator=(const SparseFile &) = delete;

  bool ok() const { return ok_; }
  const std::string &path() const { return path_; }
  /// The bytes of one copy.
  const std::vector<char> &pattern() const { return bytes_; }

 private:
  std::string path_;
  std::vector<char> bytes_;
  bool ok_ = false;
};

}  // namespace testing_support
