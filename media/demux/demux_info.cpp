#include "media/demux/demux_info.h"

#include "media/state.h"

extern "C" DRAVIK_API int32_t DravikGetDemuxInfo(DravikDemuxInfo *info) {
  if (!info) return 0;
  const dravik::State &s = dravik::global_state();
  *info = DravikDemuxInfo{};
  info->video_count = s.select.video_seen.count > 16 ? 16 : s.select.video_seen.count;
  for (int32_t i = 0; i < info->video_count; ++i) info->video_ids[i] = s.select.video_seen.ids[i];
  info->video_selected = s.select.video_id;
  info->mpeg2 = s.mpeg2 ? 1 : 0;
  info->transport = s.demux.ts_mode ? 1 : 0;
  info->video_dropped = s.demux.video_dropped;
  info->audio_dropped = s.demux.audio_dropped;
  return 1;
}
