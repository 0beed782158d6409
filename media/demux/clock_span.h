/* The clock span of a program stream file: the first pack near its start
 * and the last pack near its end with their system clock references, so
 * that a program can tell the file's average byte rate (its playing time)
 * without reading it through. For tools and tests; not reached by ordinal. */
#ifndef DRAVIK_CLOCK_SPAN_H
#define DRAVIK_CLOCK_SPAN_H

#include <stdint.h>

#include "media/media_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DravikClockSpan {
  int64_t first_offset;    /**< byte offset of the first pack header */
  int64_t last_offset;     /**< byte offset of the last pack header */
  uint32_t first_scr_half; /**< its SCR / 2 (45 kHz) */
  uint32_t last_scr_half;  /**< SCR / 2 of the last pack */
} DravikClockSpan;

/** Reads at most 64 KiB at each end of the file at path. -> 1 with span
 *  filled when both packs were found and the clock advances between them,
 *  else 0 (not a program stream, unreadable, or span null). */
DRAVIK_API int32_t DravikGetClockSpan(const char *path, DravikClockSpan *span);

#ifdef __cplusplus
}
#endif

#endif
