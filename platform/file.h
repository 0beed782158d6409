// Files on POSIX descriptors, with the results the modules expect of the
// Windows calls they were designed around: -1 for failure, byte counts
// otherwise. The "16-bit" family used for probes and extraction outputs is
// the same set of calls; a descriptor is a plain int.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class OpenMode { read, write, read_write };

/// Opens an existing file or block device without waiting in the open.
/// Returns the descriptor, or -1 with errno set (EISDIR for a folder,
/// ENODEV for a FIFO, socket or character device).
int file_open(const char *path, OpenMode mode = OpenMode::read);
/// Creates (or truncates) a file for writing. Returns the descriptor or -1.
int file_create(const char *path);
/// Reads up to len bytes, retrying short reads until the end. Returns the
/// count read (0 at the end) or -1.
int32_t file_read(int fd, void *buf, int32_t len);
/// Writes all len bytes. Returns len, or -1 when not everything was written.
int32_t file_write(int fd, const void *buf, int32_t len);
/// Writes all len bytes at offset without moving the file position.
/// Returns len, or -1.
int32_t file_write_at(int fd, int64_t offset, const void *buf, int32_t len);
/// Cuts (or extends) the file to size bytes. false on failure.
bool file_truncate(int fd, int64_t size);
/// origin: 0 from start, 1 from current, 2 from end (others fail). Returns
/// the new position, or -1 (also for a position before the start).
int64_t file_seek(int fd, int64_t offset, int origin);
/// Size of an open file (or of a block device such as a disc drive), or -1.
int64_t file_size(int fd);
/// Size of a named file, or -1 when it does not exist.
int64_t file_size(const char *path);
void file_close(int fd);
bool file_exists(const char *path);
/// True when path names the same file as the open descriptor fd (another
/// spelling or a link included).
bool file_is_same(const char *path, int fd);
bool file_remove(const char *path);

}  // namespace platform
