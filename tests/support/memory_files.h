// Named files held in memory and served to the media library through its
// host file tables (A/B layout and C layout). Every call is counted, so a
// test can see that each file access reached the table, that each handle
// was closed once and that nothing went past it. One instance is current at
// a time (the tables are plain functions).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "media/media_api.h"

namespace testing_support {

class MemoryFiles {
 public:
  /// How a table opens names it does not hold: refuse them, or forward the
  /// calls to the operating system (a table that adds nothing but itself).
  enum class Unknown { refuse, forward_to_os };

  explicit MemoryFiles(Unknown unknown = Unknown::refuse);
  ~MemoryFiles();
  MemoryFiles(const MemoryFiles &) = delete;
  MemoryFiles &operator=(const MemoryFiles &) = delete;

  void add(const std::string &name, std::vector<uint8_t> bytes);
  /// Copies a file from disk under name; false when it cannot be read.
  bool add_from_disk(const std::string &name, const std::string &path);

  /// Tables with every family filled.
  static FileIoTable table();
  static FileIoTableC table_c();

  /// Bytes of a file created through table C ("" name: none).
  std::vector<uint8_t> written(const std::string &name) const;
  std::vector<std::string> written_names() const;

  struct Counts {
    std::atomic<int> open{0}, size{0}, read{0}, set_position{0}, close{0};
    std::atomic<int> open16{0}, read16{0}, seek16{0}, close16{0};
    std::atomic<int> create16{0}, write16{0}, find_first{0};
    std::atomic<int> notify11{0}, notify12{0}, notify13{0};
    std::atomic<int> bad_handle{0};  // a call on a handle not open (a second close too)
    std::atomic<int64_t> bytes_read{0};
  };
  Counts counts;
  /// Handles opened and not closed yet.
  int open_now() const;
  /// The handle last passed to a notification (slots 11-13) and 13's param.
  std::atomic<int32_t> notified_handle{-1};
  std::atomic<intptr_t> notified_param{0};

  /// The current instance (the tables' functions reach it here).
  static MemoryFiles *current();

  // What the table functions do; public so that they can reach it.
  struct Open {
    std::string name;
    bool open = false;
    bool os = false;  // forwarded descriptor
    int fd = -1;
    bool output = false;
    int64_t pos = 0;
  };
  int32_t do_open(const char *name, bool output);
  Open *find(int32_t handle);
  int32_t do_read(int32_t handle, void *buf, int32_t len);
  int64_t do_seek(int32_t handle, int64_t pos, int32_t origin);
  int64_t do_size(int32_t handle);
  int32_t do_close(int32_t handle);
  int32_t do_write(int32_t handle, const void *buf, int32_t len);
  int64_t size_of(const char *name);

 private:
  Unknown unknown_;
  mutable std::mutex m_;
  std::map<std::string, std::vector<uint8_t>> files_;
  std::map<std::string, std::vector<uint8_t>> outputs_;
  std::vector<Open> handles_;
};

/// First handle value of the memory tables: far from descriptors, so a
/// handle wrongly given to the operating system fails there.
constexpr int32_t kMemoryHandleBase = 0x10000;

}  // namespace testing_support
