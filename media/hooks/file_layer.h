// The one layer every file access of the library passes through: host
// table A, then table B, then table C or the operating system. A table
// serves only when its whole family is present; a file stays with the
// layer that opened it until it is closed, so a table installed or removed
// meanwhile changes only later opens.
#pragma once

#include <cstdint>

#include "media/media_api.h"

namespace dravik {

struct Hooks;

enum class FileLayer : uint8_t { os, table_a, table_b, table_c };

/// A file opened through one layer: the handle is that layer's own.
struct LayerFile {
  FileLayer layer = FileLayer::os;
  int32_t handle = -1;
  const FileIoTable *table = nullptr;     // A or B
  const FileIoTableC *table_c = nullptr;  // C
  bool is_open() const { return handle != -1; }
  /// The operating system's descriptor, -1 when a table serves the file.
  int os_fd() const { return layer == FileLayer::os ? handle : -1; }
};

/// Whether a table carries a whole family: the source calls (open, size,
/// read, set position, close) or the 16-bit calls of probes.
bool serves_sources(const FileIoTable *t);
bool serves_probes(const FileIoTable *t);
bool serves_sources(const FileIoTableC *t);
bool serves_probes(const FileIoTableC *t);
bool serves_outputs(const FileIoTableC *t);

/// Source family: open for reading, size, positioned read, close.
LayerFile layer_open(const Hooks &h, const char *name);
int64_t layer_size(const LayerFile &f);
/// Up to len bytes at pos (short only at the end or on error). -> bytes.
int32_t layer_read_at(const LayerFile &f, int64_t pos, void *buf, int32_t len);
void layer_close(LayerFile &f);

/// 16-bit family of probes: open for reading, sequential read, seek, close.
LayerFile layer_open16(const Hooks &h, const char *name);
int32_t layer_read16(const LayerFile &f, void *buf, int32_t len);
/// -> the new position, -1 on failure.
int64_t layer_seek16(const LayerFile &f, int64_t pos, int32_t origin);
void layer_close16(LayerFile &f);

/// Files the library writes (extraction outputs): table C or the OS.
LayerFile layer_create(const Hooks &h, const char *name);
/// -> true when all len bytes were written.
bool layer_write(const LayerFile &f, const void *buf, int32_t len);
void layer_close_output(LayerFile &f);

/// Size of a named file through table C (find-first) or the OS; -1 when it
/// does not exist.
int64_t layer_file_size(const Hooks &h, const char *name);

}  // namespace dravik
