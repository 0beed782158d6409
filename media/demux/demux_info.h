/* What the demultiplexer has learnt about the open source beyond the
 * SysControl commands: the seen video ids and the kind of the last pack.
 * For tools and tests; not reached by ordinal. */
#ifndef DRAVIK_DEMUX_INFO_H
#define DRAVIK_DEMUX_INFO_H

#include <stdint.h>

#include "media/media_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DravikDemuxInfo {
  int32_t video_count;    /**< video ids in the seen list */
  int32_t video_ids[16];  /**< in the order they were seen */
  int32_t video_selected; /**< selected video id, -1 none yet */
  int32_t mpeg2;          /**< 1 when the last pack header was MPEG-2 */
  int32_t transport;      /**< 1 for a converted transport stream */
  int64_t video_dropped;  /**< bytes not stored: the video ring was full */
  int64_t audio_dropped;  /**< bytes not stored: the audio ring was full */
} DravikDemuxInfo;

/** Fills info (if not null) for the open source. -> 1, or 0 for null. */
DRAVIK_API int32_t DravikGetDemuxInfo(DravikDemuxInfo *info);

#ifdef __cplusplus
}
#endif

#endif
