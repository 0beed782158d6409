#include "media/hooks/file_layer.h"

#include <unistd.h>

#include <mutex>

#include "media/hooks/hook_call.h"
#include "media/state.h"
#include "platform/file.h"

namespace dravik {

namespace {

// Create-file arguments of an open for reading: read access, shared
// reading, existing files only.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kShareRead = 1;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kNormalFile = 0x80;
// 16-bit family open mode for reading and the attribute of a new file.
constexpr int32_t kOpenRead = 0;
constexpr int32_t kNormalAttribute = 0;

// Host entries are called one at a time: the read-ahead thread and a
// reader that fetches synchronously never meet inside a table. Recursive,
// since a table read may ask a plain query that reaches table C.
std::recursive_mutex &table_calls() {
  static std::recursive_mutex m;
  return m;
}

// Runs a host entry: serialised, and marked as host code on this thread.
template <class F>
auto call_host(F &&f) {
  std::lock_guard<std::recursive_mutex> lock(table_calls());
  HookCall mark;
  return f();
}

const FileIoTable *first_source_table(const Hooks &h, FileLayer *layer) {
  if (serves_sources(h.io_a)) return *layer = FileLayer::table_a, h.io_a;
  if (serves_sources(h.io_b)) return *layer = FileLayer::table_b, h.io_b;
  return nullptr;
}

const FileIoTable *first_probe_table(const Hooks &h, FileLayer *layer) {
  if (serves_probes(h.io_a)) return *layer = FileLayer::table_a, h.io_a;
  if (serves_probes(h.io_b)) return *layer = FileLayer::table_b, h.io_b;
  return nullptr;
}

// Positions are 64-bit inside; the tables take them as a low word and a
// high word.
bool table_position(const LayerFile &f, int64_t pos) {
  int32_t high = static_cast<int32_t>(pos >> 32);
  const int32_t low = static_cast<int32_t>(static_cast<uint32_t>(pos));
  int32_t got = f.table ? f.table->set_position(f.handle, low, &high, 0)
                        : f.table_c->set_position(f.handle, low, &high, 0);
  const int64_t at = (static_cast<int64_t>(high) << 32) | static_cast<uint32_t>(got);
  return at == pos;
}

int32_t table_read(const LayerFile &f, uint8_t *dst, int32_t len) {
  int32_t got = 0;
  while (got < len) {
    int32_t done = 0;
    const int32_t ok = f.table ? f.table->read(f.handle, dst + got, len - got, &done, nullptr)
                               : f.table_c->read(f.handle, dst + got, len - got, &done, nullptr);
    if (!ok || done <= 0) break;
    if (done > len - got) done = len - got;  // a table claiming more than asked
    got += done;
  }
  return got;
}

}  // namespace

bool serves_sources(const FileIoTable *t) {
  return t && t->open && t->size && t->read && t->set_position && t->close;
}
bool serves_probes(const FileIoTable *t) { return t && t->open16 && t->read16 && t->seek16 && t->close16; }
bool serves_sources(const FileIoTableC *t) {
  return t && t->open && t->size && t->read && t->set_position && t->close;
}
bool serves_probes(const FileIoTableC *t) { return t && t->open16 && t->read16 && t->seek16 && t->close16; }
bool serves_outputs(const FileIoTableC *t) { return t && t->create16 && t->write16 && t->close16; }

LayerFile layer_open(const Hooks &h, const char *name) {
  LayerFile f;
  if (const FileIoTable *t = first_source_table(h, &f.layer)) {
    f.table = t;
    f.handle = call_host(
        [&] { return t->open(name, kGenericRead, kShareRead, nullptr, kOpenExisting, kNormalFile, 0); });
  } else if (serves_sources(h.io_c)) {
    f.layer = FileLayer::table_c;
    f.table_c = h.io_c;
    f.handle = call_host(
        [&] { return h.io_c->open(name, kGenericRead, kShareRead, nullptr, kOpenExisting, kNormalFile, 0); });
  } else {
    f.handle = platform::file_open(name);
  }
  if (f.handle == -1) f = LayerFile{};
  return f;
}

int64_t layer_size(const LayerFile &f) {
  if (!f.is_open()) return -1;
  if (f.layer == FileLayer::os) return platform::file_size(f.handle);
  return call_host([&]() -> int64_t {
    uint32_t high = 0;
    const uint32_t low = f.table ? f.table->size(f.handle, &high) : f.table_c->size(f.handle, &high);
    if (low == 0xFFFFFFFFu && high == 0) return -1;
    return static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
  });
}

int32_t layer_read_at(const LayerFile &f, int64_t pos, void *buf, int32_t len) {
  if (!f.is_open() || pos < 0 || len <= 0) return 0;
  uint8_t *dst = static_cast<uint8_t *>(buf);
  if (f.layer == FileLayer::os) {
    int32_t got = 0;
    while (got < len) {
      ssize_t r = ::pread(f.handle, dst + got, static_cast<size_t>(len - got), pos + got);
      if (r <= 0) break;
      got += static_cast<int32_t>(r);
    }
    return got;
  }
  return call_host([&]() -> int32_t { return table_position(f, pos) ? table_read(f, dst, len) : 0; });
}

void layer_close(LayerFile &f) {
  if (!f.is_open()) return;
  if (f.layer == FileLayer::os) {
    platform::file_close(f.handle);
  } else {
    call_host([&] { return f.table ? f.table->close(f.handle) : f.table_c->close(f.handle); });
  }
  f = LayerFile{};
}

LayerFile layer_open16(const Hooks &h, const char *name) {
  LayerFile f;
  if (const FileIoTable *t = first_probe_table(h, &f.layer)) {
    f.table = t;
    f.handle = call_host([&] { return t->open16(name, kOpenRead); });
  } else if (serves_probes(h.io_c)) {
    f.layer = FileLayer::table_c;
    f.table_c = h.io_c;
    f.handle = call_host([&] { return h.io_c->open16(name, kOpenRead); });
  } else {
    f.handle = platform::file_open(name);
  }
  if (f.handle == -1) f = LayerFile{};
  return f;
}

int32_t layer_read16(const LayerFile &f, void *buf, int32_t len) {
  if (!f.is_open() || len <= 0) return 0;
  if (f.layer == FileLayer::os) return platform::file_read(f.handle, buf, len);
  return call_host([&]() -> int32_t {
    const int32_t n = f.table ? f.table->read16(f.handle, buf, len) : f.table_c->read16(f.handle, buf, len);
    return n > len ? len : n;
  });
}

int64_t layer_seek16(const LayerFile &f, int64_t pos, int32_t origin) {
  if (!f.is_open()) return -1;
  if (f.layer == FileLayer::os) return platform::file_seek(f.handle, pos, origin);
  // The 16-bit family reaches 2 GiB at most.
  if (pos > INT32_MAX || pos < INT32_MIN) return -1;
  return call_host([&]() -> int64_t {
    const int32_t p = static_cast<int32_t>(pos);
    return f.table ? f.table->seek16(f.handle, p, origin) : f.table_c->seek16(f.handle, p, origin);
  });
}

void layer_close16(LayerFile &f) {
  if (!f.is_open()) return;
  if (f.layer == FileLayer::os) {
    platform::file_close(f.handle);
  } else {
    call_host([&] { return f.table ? f.table->close16(f.handle) : f.table_c->close16(f.handle); });
  }
  f = LayerFile{};
}

LayerFile layer_create(const Hooks &h, const char *name) {
  LayerFile f;
  if (serves_outputs(h.io_c)) {
    f.layer = FileLayer::table_c;
    f.table_c = h.io_c;
    f.handle = call_host([&] { return h.io_c->create16(name, kNormalAttribute); });
  } else {
    f.handle = platform::file_create(name);
  }
  if (f.handle == -1) f = LayerFile{};
  return f;
}

bool layer_write(const LayerFile &f, const void *buf, int32_t len) {
  if (!f.is_open()) return false;
  if (len <= 0) return true;
  if (f.layer == FileLayer::os) return platform::file_write(f.handle, buf, len) == len;
  return call_host([&] { return f.table_c->write16(f.handle, buf, len) == len; });
}

void layer_close_output(LayerFile &f) {
  if (!f.is_open()) return;
  if (f.layer == FileLayer::os) {
    platform::file_close(f.handle);
  } else {
    call_host([&] { return f.table_c->close16(f.handle); });
  }
  f = LayerFile{};
}

int64_t layer_file_size(const Hooks &h, const char *name) {
  const FileIoTableC *c = h.io_c;
  if (c && c->find_first && c->find_close) {
    return call_host([&]() -> int64_t {
      DravikFindData data = {};
      const intptr_t search = c->find_first(name, &data);
      if (search == -1) return -1;
      c->find_close(search);
      return static_cast<int64_t>(static_cast<uint64_t>(data.size_high) << 32 | data.size_low);
    });
  }
  return platform::file_size(name);
}

}  // namespace dravik
