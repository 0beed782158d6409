#include "tests/support/memory_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace testing_support {

namespace {

std::atomic<MemoryFiles *> g_current{nullptr};

MemoryFiles &cur() { return *g_current.load(); }

int32_t t_open(const char *name, uint32_t, uint32_t, void *, uint32_t, uint32_t, intptr_t) {
  ++cur().counts.open;
  return cur().do_open(name, false);
}
uint32_t t_size(int32_t h, uint32_t *high) {
  ++cur().counts.size;
  const int64_t n = cur().do_size(h);
  if (n < 0) {
    if (high) *high = 0;
    return 0xFFFFFFFFu;
  }
  if (high) *high = static_cast<uint32_t>(n >> 32);
  return static_cast<uint32_t>(n);
}
int32_t t_read(int32_t h, void *buf, int32_t len, int32_t *done, void *) {
  ++cur().counts.read;
  const int32_t n = cur().do_read(h, buf, len);
  if (done) *done = n < 0 ? 0 : n;
  return n >= 0;
}
int32_t t_set_position(int32_t h, int32_t distance, int32_t *high, int32_t origin) {
  ++cur().counts.set_position;
  int64_t d = high ? (static_cast<int64_t>(*high) << 32 | static_cast<uint32_t>(distance)) : distance;
  const int64_t at = cur().do_seek(h, d, origin);
  if (at < 0) return -1;
  if (high) *high = static_cast<int32_t>(at >> 32);
  return static_cast<int32_t>(at);
}
int32_t t_close(int32_t h) {
  ++cur().counts.close;
  return cur().do_close(h);
}
int32_t t_open16(const char *name, int32_t) {
  ++cur().counts.open16;
  return cur().do_open(name, false);
}
int32_t t_read16(int32_t h, void *buf, int32_t len) {
  ++cur().counts.read16;
  return cur().do_read(h, buf, len);
}
int32_t t_seek16(int32_t h, int32_t offset, int32_t origin) {
  ++cur().counts.seek16;
  const int64_t at = cur().do_seek(h, offset, origin);
  return at > INT32_MAX ? -1 : static_cast<int32_t>(at);
}
int32_t t_close16(int32_t h) {
  ++cur().counts.close16;
  return cur().do_close(h);
}
void t_notify11(int32_t h) {
  ++cur().counts.notify11;
  cur().notified_handle = h;
}
void t_notify12(int32_t h) {
  ++cur().counts.notify12;
  cur().notified_handle = h;
}
void t_notify13(int32_t h, intptr_t param) {
  ++cur().counts.notify13;
  cur().notified_handle = h;
  cur().notified_param = param;
}
intptr_t t_find_first(const char *name, DravikFindData *data) {
  ++cur().counts.find_first;
  const int64_t n = cur().size_of(name);
  if (n < 0) return -1;
  data->size_low = static_cast<uint32_t>(n);
  data->size_high = static_cast<uint32_t>(n >> 32);
  return 1;
}
int32_t t_find_close(intptr_t) { return 1; }
int32_t t_create16(const char *name, int32_t) {
  ++cur().counts.create16;
  return cur().do_open(name, true);
}
int32_t t_write16(int32_t h, const void *buf, int32_t len) {
  ++cur().counts.write16;
  return cur().do_write(h, buf, len);
}

}  // namespace

MemoryFiles::MemoryFiles(Unknown unknown) : unknown_(unknown) { g_current.store(this); }

MemoryFiles::~MemoryFiles() {
  for (Open &o : handles_)
    if (o.open && o.os) ::close(o.fd);
  MemoryFiles *self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

MemoryFiles *MemoryFiles::current() { return g_current.load(); }

void MemoryFiles::add(const std::string &name, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(m_);
  files_[name] = std::move(bytes);
}

bool MemoryFiles::add_from_disk(const std::string &name, const std::string &path) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  add(name, std::move(bytes));
  return true;
}

FileIoTable MemoryFiles::table() {
  FileIoTable t = {};
  t.open = t_open;
  t.size = t_size;
  t.read = t_read;
  t.set_position = t_set_position;
  t.close = t_close;
  t.open16 = t_open16;
  t.read16 = t_read16;
  t.seek16 = t_seek16;
  t.close16 = t_close16;
  t.notify11 = t_notify11;
  t.notify12 = t_notify12;
  t.notify13 = t_notify13;
  return t;
}

FileIoTableC MemoryFiles::table_c() {
  FileIoTableC t = {};
  t.find_first = t_find_first;
  t.find_close = t_find_close;
  t.open = t_open;
  t.size = t_size;
  t.read = t_read;
  t.set_position = t_set_position;
  t.close = t_close;
  t.open16 = t_open16;
  t.create16 = t_create16;
  t.read16 = t_read16;
  t.write16 = t_write16;
  t.seek16 = t_seek16;
  t.close16 = t_close16;
  return t;
}

std::vector<uint8_t> MemoryFiles::written(const std::string &name) const {
  std::lock_guard<std::mutex> lock(m_);
  auto it = outputs_.find(name);
  return it == outputs_.end() ? std::vector<uint8_t>{} : it->second;
}

std::vector<std::string> MemoryFiles::written_names() const {
  std::lock_guard<std::mutex> lock(m_);
  std::vector<std::string> names;
  for (const auto &kv : outputs_) names.push_back(kv.first);
  return names;
}

int MemoryFiles::open_now() const {
  std::lock_guard<std::mutex> lock(m_);
  int n = 0;
  for (const Open &o : handles_) n += o.open ? 1 : 0;
  return n;
}

int32_t MemoryFiles::do_open(const char *name, bool output) {
  std::lock_guard<std::mutex> lock(m_);
  if (!name) return -1;
  Open o;
  o.name = name;
  o.open = true;
  o.output = output;
  if (output) {
    outputs_[name].clear();
  } else if (!files_.count(name)) {
    if (unknown_ == Unknown::refuse) return -1;
    o.os = true;
    o.fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (o.fd < 0) return -1;
  }
  handles_.push_back(o);
  return kMemoryHandleBase + static_cast<int32_t>(handles_.size() - 1);
}

MemoryFiles::Open *MemoryFiles::find(int32_t handle) {
  const int64_t i = static_cast<int64_t>(handle) - kMemoryHandleBase;
  if (i < 0 || i >= static_cast<int64_t>(handles_.size()) || !handles_[i].open) {
    ++counts.bad_handle;
    return nullptr;
  }
  return &handles_[i];
}

int32_t MemoryFiles::do_read(int32_t handle, void *buf, int32_t len) {
  std::lock_guard<std::mutex> lock(m_);
  Open *o = find(handle);
  if (!o || len < 0) return -1;
  int32_t n;
  if (o->os) {
    const ssize_t r = ::pread(o->fd, buf, static_cast<size_t>(len), o->pos);
    n = r < 0 ? -1 : static_cast<int32_t>(r);
  } else {
    const std::vector<uint8_t> &f = o->output ? outputs_[o->name] : files_[o->name];
    const int64_t left = static_cast<int64_t>(f.size()) - o->pos;
    n = left <= 0 ? 0 : left < len ? static_cast<int32_t>(left) : len;
    if (n > 0) std::memcpy(buf, f.data() + o->pos, static_cast<size_t>(n));
  }
  if (n > 0) {
    o->pos += n;
    counts.bytes_read += n;
  }
  return n;
}

int64_t MemoryFiles::do_size(int32_t handle) {
  std::lock_guard<std::mutex> lock(m_);
  Open *o = find(handle);
  if (!o) return -1;
  if (o->os) {
    struct stat st;
    return ::fstat(o->fd, &st) == 0 ? st.st_size : -1;
  }
  return static_cast<int64_t>((o->output ? outputs_[o->name] : files_[o->name]).size());
}

int64_t MemoryFiles::do_seek(int32_t handle, int64_t pos, int32_t origin) {
  int64_t size = do_size(handle);
  std::lock_guard<std::mutex> lock(m_);
  Open *o = find(handle);
  if (!o || size < 0) return -1;
  const int64_t base = origin == 0 ? 0 : origin == 1 ? o->pos : origin == 2 ? size : -1;
  if (base < 0 || base + pos < 0) return -1;
  o->pos = base + pos;
  return o->pos;
}

int32_t MemoryFiles::do_close(int32_t handle) {
  std::lock_guard<std::mutex> lock(m_);
  Open *o = find(handle);
  if (!o) return 0;
  if (o->os) ::close(o->fd);
  o->open = false;
  return 1;
}

int32_t MemoryFiles::do_write(int32_t handle, const void *buf, int32_t len) {
  std::lock_guard<std::mutex> lock(m_);
  Open *o = find(handle);
  if (!o || !o->output || len < 0) return -1;
  auto &f = outputs_[o->name];
  const auto *p = static_cast<const uint8_t *>(buf);
  f.insert(f.end(), p, p + len);
  o->pos += len;
  return len;
}

int64_t MemoryFiles::size_of(const char *name) {
  std::lock_guard<std::mutex> lock(m_);
  if (!name) return -1;
  auto it = files_.find(name);
  if (it != files_.end()) return static_cast<int64_t>(it->second.size());
  if (unknown_ == Unknown::refuse) return -1;
  struct stat st;
  return ::stat(name, &st) == 0 ? st.st_size : -1;
}

}  // namespace testing_support
