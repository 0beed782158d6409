// The output file of an encoder or the multiplexer: buffered writes that
// keep the first error, a close that reports it, and an optional temporary
// name beside the final path that becomes the final name only on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace component_io {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;

  /// Creates (or truncates) path. False when it cannot be created.
  bool create(const char *path);
  /// Creates a fresh temporary file in the folder of final_path; commit()
  /// renames it to final_path, and abandoning it (discard() or destruction
  /// without commit) removes it, so a failed job leaves no half file and an
  /// existing file under final_path stays as it was.
  bool create_beside(const char *final_path);

  /// Appends bytes. After the first failure nothing more is written and
  /// every later call returns false.
  bool write(const void *data, size_t size);
  /// True while nothing has failed.
  bool good() const { return fd_ >= 0 && ok_; }
  /// Bytes accepted so far.
  uint64_t written() const { return written_; }

  /// Flushes and closes; true when every write and the close succeeded.
  /// A temporary is renamed to its final name only then, else removed.
  bool commit();
  /// Closes and removes the file (the temporary or the created one).
  void discard();

 private:
  bool flush();

  int fd_ = -1;
  bool ok_ = true;
  std::string path_;        // the name the bytes are written under
  std::string final_path_;  // rename target; empty when path_ is final
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  uint64_t written_ = 0;
};

}  // namespace component_io
