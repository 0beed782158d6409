// The probe over arbitrary bytes, served from memory through host file
// table A under a name whose extension the first byte chooses: it must
// classify, never crash, read out of bounds, hang or leave a handle open.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/media_api.h"
#include "tests/support/memory_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > (4u << 20)) return 0;
  static const char *kExt[] = {"mpg", "vob", "dat", "mp2", "wav", "ac3", "m2v", "ts"};
  const std::string name = std::string("memory:probe.") + kExt[data[0] & 7];
  testing_support::MemoryFiles files;
  files.add(name, std::vector<uint8_t>(data + 1, data + size));
  static const FileIoTable table = testing_support::MemoryFiles::table();
  SysControl(CTL_SET_FILE_IO_A, reinterpret_cast<intptr_t>(&table));
  int32_t length = 0;
  const SourceKind kind = SysProbe(name.c_str(), &length);
  if (kind < -1 || kind > 3) __builtin_trap();
  // The same bytes as a path buffer with binary fields (a name the table
  // does not hold goes no further than the table).
  SysProbeBuffer(data, static_cast<int32_t>(size), nullptr);
  SysControl(CTL_SET_FILE_IO_A, 0);
  if (files.open_now() != 0 || files.counts.bad_handle.load() != 0) __builtin_trap();
  return 0;
}
