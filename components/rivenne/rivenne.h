/*
 * Rivenne: the DVB stream source the media library loads on request
 * (SysControl 53, librivenne.so beside libdravik.so) and frees with 54. Its
 * entries are reached by ordinal through RivenneProc only:
 *
 *   1  pass-through call of SysControl 19: RivenneCallFn
 *   2  info: RivenneInfoFn (RIVENNE_INFO_*)
 *   3  open the stream: RivenneOpenFn, non-zero on success
 *   4  read: RivenneReadFn -> bytes, 0 at the end
 *   5  seek: RivenneSeekFn -> new position, -1 on failure
 *   6  close: RivenneCloseFn
 *   7  notification of every other source: RivenneNotifyFn (RIVENNE_NOTE_*)
 *   8  pass-through call of SysControl 55: RivenneCallFn
 *
 * The media library reads the source named "DVBStream.DVB" through 2-6 and
 * reports every other source's open, close, seek and 64 KiB block to 7. The
 * body here serves a capture file or a DVR device: ordinal 1 with a path
 * names it. Entries are called on the media library's threads (the
 * read-ahead thread too), one at a time. Compiles as C and C++.
 */
#ifndef RIVENNE_H
#define RIVENNE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RIVENNE_LIBRARY "librivenne.so"

enum {
  RIVENNE_ORD_CALL = 1,
  RIVENNE_ORD_INFO = 2,
  RIVENNE_ORD_OPEN = 3,
  RIVENNE_ORD_READ = 4,
  RIVENNE_ORD_SEEK = 5,
  RIVENNE_ORD_CLOSE = 6,
  RIVENNE_ORD_NOTIFY = 7,
  RIVENNE_ORD_CALL2 = 8
};

/** Info selectors (ordinal 2). */
enum {
  RIVENNE_INFO_SIZE = 0, /**< stream size in bytes */
  RIVENNE_INFO_KIND = 1, /**< SourceKind of the stream */
  RIVENNE_INFO_MIX = 2   /**< stream mix, as SysControl 9 answers */
};

/** Notification codes (ordinal 7). */
enum {
  RIVENNE_NOTE_OPEN = 0,  /**< pointer: the path opened */
  RIVENNE_NOTE_CLOSE = 1, /**< no arguments */
  RIVENNE_NOTE_SEEK = 2,  /**< pointer: const RivenneSeekNote * */
  RIVENNE_NOTE_BLOCK = 3  /**< pointer: the block, value: its bytes */
};

/** Where a seek went: the position asked for and its origin (0, 1, 2). */
typedef struct RivenneSeekNote {
  int64_t pos;
  int32_t origin;
} RivenneSeekNote;

typedef intptr_t (*RivenneCallFn)(intptr_t param);
typedef int32_t (*RivenneInfoFn)(int32_t which);
typedef int32_t (*RivenneOpenFn)(void);
typedef int32_t (*RivenneReadFn)(void *buf, int32_t len);
typedef int32_t (*RivenneSeekFn)(int32_t pos, int32_t origin);
typedef int32_t (*RivenneCloseFn)(void);
typedef void (*RivenneNotifyFn)(int32_t code, const void *pointer, intptr_t value);

/** The entry with that ordinal (1-8), NULL for any other. */
__attribute__((visibility("default"))) void *RivenneProc(int32_t ordinal);

#ifdef __cplusplus
}
#endif

#endif /* RIVENNE_H */
