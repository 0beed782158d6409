#include "media/exports/control.h"

#include <algorithm>
#include <string>

#include "components/sectrel/sectrel.h"
#include "media/blocks/angle_reader.h"
#include "media/blocks/block_reader.h"
#include "media/demux/stream_select.h"
#include "media/exports/frame.h"
#include "media/extract/extract.h"
#include "media/extract/segment.h"
#include "media/hooks/dvb_link.h"
#include "media/hooks/hook_call.h"
#include "media/hooks/plugins.h"
#include "media/source/disc_structure.h"
#include "media/source/export_size.h"
#include "media/source/sector_api.h"
#include "media/state.h"
#include "platform/clock.h"

namespace dravik {

namespace {

intptr_t sector_command(int32_t drive, int32_t cmd, int32_t param) {
  return sector_api().command(drive, cmd, param);
}

// Door control goes through the sector library, which drives the door of
// devices itself; there is no other path to the door on this platform.
intptr_t door(int32_t drive, int32_t open) {
  sector_command(drive, SECTREL_CMD_DOOR, open);
  return 1;
}

// The stream mix of the open source, from the ids seen.
intptr_t stream_mix(const State &s) {
  if (s.source.type == SourceType::dvb) return s.source.dvb_mix;
  const bool video = s.select.video_seen.count > 0;
  const bool audio = s.select.audio_seen.count > 0;
  if (video && audio) return s.select.video_seen.ids[0] == 0xE0 ? 0 : 1;
  if (video) return 3;
  return 2;
}

// Command 22: a new audio stream is preferred and, when the two streams
// cannot share a decoder set-up, selected at once.
void select_audio(State &s, int32_t id) {
  if (s.select.audio_seen.count == 1 || id == s.select.audio_id) return;
  if (!s.select.audio_seen.contains(id)) return;
  s.select.audio_prefer.set_one(id);
  if (!s.select.audio_seen.contains(s.select.audio_id) || ((id ^ s.select.audio_id) & ~3) != 0)
    s.select.audio_id = id;
}

intptr_t add_sink(State &s, int32_t number) {
  for (auto &sink : s.hooks.sinks)
    if (sink->number == number) return 0;
  if (s.hooks.sinks.size() >= 32) return 0;
  s.hooks.sinks.push_back(std::make_unique<SinkObject>(number));
  return reinterpret_cast<intptr_t>(static_cast<StreamSink *>(s.hooks.sinks.back().get()));
}

void remove_sink(State &s, int32_t number) {
  s.hooks.sinks.erase(std::remove_if(s.hooks.sinks.begin(), s.hooks.sinks.end(),
                                     [&](const auto &k) { return k->number == number; }),
                      s.hooks.sinks.end());
}

// Commands that only read a value: allowed from inside a hook.
bool is_plain_query(int32_t cmd) {
  switch (cmd) {
    case CTL_AUDIO_HEADER:
    case CTL_STREAM_MIX:
    case CTL_AUDIO_COUNT:
    case CTL_AUDIO_CURRENT:
    case CTL_SPU_CURRENT:
    case CTL_SPU_COUNT:
    case CTL_BYTE_RATE:
    case CTL_RATE_VALID:
    case CTL_AT_END:
    case CTL_ANGLE_COUNT:
    case CTL_ANGLE_CURRENT:
    case CTL_SOURCE_HANDLE:
    case CTL_PLUGIN_ACTIVE:
    case CTL_SOURCE_SIZE:
    case CTL_IS_DVD:
    case CTL_SECTOR_SCALE:
    case CTL_SPU_TABLE:
    case CTL_EXTRACT_FAILURES:
      return true;
    default:
      return false;
  }
}

bool real_file_open(const State &s) { return s.source.type == SourceType::file && s.source.file.is_open(); }

}  // namespace

intptr_t control(State &s, int32_t cmd, intptr_t param) {
  const auto p32 = static_cast<int32_t>(param);
  // Host code calling back on its own thread may only ask.
  if (inside_hook() && !is_plain_query(cmd)) return 0;
  switch (cmd) {
    case CTL_SET_SEGMENT_START:
      s.settings.segment_start = p32;
      return p32;
    case CTL_SET_SEGMENT_END:
      s.settings.segment_end = p32;
      return p32;
    case CTL_SEGMENT_COPY:
      return segment_copy(s, p32);
    case CTL_FLUSH_AUDIO:
      flush_audio(s);
      return 0;
    case CTL_SEGMENT_BEGIN:
      return segment_begin(s);
    case CTL_SEGMENT_FINISH:
      return segment_finish(s, p32);
    case CTL_SEGMENT_HEAD:
      return segment_head(s, p32);
    case CTL_AUDIO_HEADER:
      return s.settings.audio_header_word;
    case CTL_SET_CDXA_DIRECT: {
      const bool was = s.settings.cdxa_direct;
      s.settings.cdxa_direct = param != 0;
      return was ? 1 : 0;
    }
    case CTL_STREAM_MIX:
      return stream_mix(s);
    case CTL_DRIVE_OPEN:
      return sector_api().open_drive(p32);
    case CTL_DOOR_OPEN:
      return door(p32, 1);
    case CTL_DOOR_CLOSE:
      return door(p32, 0);
    case CTL_SET_SECTOR_ACCESS:
      if (sector_command(0, SECTREL_CMD_READY, 0)) {
        s.settings.cdxa_direct = param != 0;
        if (s.source.raw_sector && s.source.sectors.sectors > 0) s.source.sectors.on = s.settings.cdxa_direct;
      }
      return 0;
    case CTL_DRIVE_OP5:
      return sector_command(0, SECTREL_CMD_OP5, p32);
    case CTL_SECTOR_READY:
      return sector_command(0, SECTREL_CMD_READY, 0);
    case CTL_TRACK_START:
      return sector_command(p32 >> 16, SECTREL_CMD_TRACK_START, p32 & 0xFFFF);
    case CTL_TRACK_LENGTH:
      return sector_command(p32 >> 16, SECTREL_CMD_TRACK_LENGTH, p32 & 0xFFFF);
    case CTL_SET_SIZE:
      s.source.size = p32;
      return 0;
    case CTL_DVB_CALL:
      return dvb_call(s, RIVENNE_ORD_CALL, param);
    case CTL_AUDIO_COUNT:
      return s.select.audio_seen.count;
    case CTL_AUDIO_CURRENT:
      return s.select.audio_id;
    case CTL_AUDIO_SELECT:
      select_audio(s, p32);
      return 0;
    case CTL_DISC_INFO:
      return sector_command(p32, SECTREL_CMD_READY, 0) ? sector_command(p32, SECTREL_CMD_DISC_VALUE, 0) : 0;
    case CTL_VCD_TRACKS:
      return recognise_video_cd(s, p32);
    case CTL_VCD_KIND:
      return s.settings.vcd_kind;
    case CTL_AUDIO_LIST:
      std::sort(s.select.audio_seen.ids, s.select.audio_seen.ids + s.select.audio_seen.count);
      return reinterpret_cast<intptr_t>(s.select.audio_seen.ids);
    case CTL_SPU_BUFFER:
      s.settings.spu_buffer = reinterpret_cast<void *>(param);
      return 0;
    case CTL_SPU_CALLBACK:
      s.settings.spu_callback = reinterpret_cast<DravikSpuCallback>(param);
      return 0;
    case CTL_SPU_ENABLE:
      s.settings.spu_enabled = param != 0;
      return 0;
    case CTL_SPU_SELECT:
      s.select.spu_prefer.set_one(p32);
      reselect_subpicture(s);
      return 0;
    case CTL_SPU_CURRENT:
      return s.settings.spu_enabled ? s.select.spu_id : -1;
    case CTL_SPU_COUNT:
      return s.select.spu_seen.count;
    case CTL_SPU_LIST:
      std::sort(s.select.spu_seen.numbers, s.select.spu_seen.numbers + s.select.spu_seen.count);
      return reinterpret_cast<intptr_t>(s.select.spu_seen.numbers);
    case CTL_AUDIO_PREFER:
      s.select.audio_prefer.set_one(p32);
      return 0;
    case CTL_SPU_PREFER:
      s.select.spu_prefer.set_one(p32);
      return 0;
    case CTL_BYTE_RATE:
      return s.byte_rate ? s.byte_rate : 1;
    case CTL_RATE_VALID:
      return s.rate_valid ? 1 : 0;
    case CTL_FORGET_DISC:
      s.listing.forget();
      return 0;
    case CTL_SET_OUTPUT_DIR: {
      const char *dir = reinterpret_cast<const char *>(param);
      s.settings.output_dir = dir ? dir : "";
      if (!s.settings.output_dir.empty() && s.settings.output_dir.back() != '/') s.settings.output_dir += '/';
      return 0;
    }
    case CTL_EXTRACT_OPEN:
      return extract_open(s, reinterpret_cast<const char *>(param), true);
    case CTL_EXTRACT_OPEN_RAW:
      return extract_open(s, reinterpret_cast<const char *>(param), false);
    case CTL_EXTRACT_CLOSE:
      return extract_close(s);
    case CTL_EXTRACT_STEP:
      return static_cast<intptr_t>(extract_step(s));
    case CTL_EXTRACT_FAILURES:
      return s.extract.failures;
    case CTL_AT_END:
      return s.end.load() ? 1 : 0;
    case CTL_SET_NAME_HOOK:
      s.hooks.name_hook = reinterpret_cast<DravikNameHook>(param);
      return 0;
    case CTL_ANGLE_SELECT:
      select_angle(s, p32);
      return 0;
    case CTL_ANGLE_COUNT:
      return s.select.angle_count;
    case CTL_ANGLE_CURRENT:
      return s.select.angle;
    case CTL_SET_FILE_IO_A:
      s.hooks.io_a = reinterpret_cast<const FileIoTable *>(param);
      return 0;
    case CTL_SET_PROBE_HOOK:
      s.hooks.probe_hook = reinterpret_cast<DravikProbeHook>(param);
      return 0;
    case CTL_DVB_LOAD:
      return dvb_load(s, reinterpret_cast<const char *>(param));
    case CTL_DVB_UNLOAD:
      dvb_unload(s);
      return 0;
    case CTL_DVB_CALL2:
      dvb_call(s, RIVENNE_ORD_CALL2, param);
      return 0;
    case CTL_DRIVE_OP12:
      sector_command(0, SECTREL_CMD_OP12, p32);
      return 0;
    case CTL_FILE_IO_B_HOOK1:
      s.settings.b_hook_time = platform::tick_ms();
      if (real_file_open(s) && s.hooks.io_b && s.hooks.io_b->notify11) {
        HookCall mark;
        s.hooks.io_b->notify11(s.source.handle);
      }
      return 0;
    case CTL_FILE_IO_B_HOOK2:
      if (real_file_open(s) && s.hooks.io_b && s.hooks.io_b->notify12) {
        HookCall mark;
        s.hooks.io_b->notify12(s.source.handle);
      }
      return 0;
    case CTL_FILE_IO_B_HOOK3:
      if (real_file_open(s) && s.hooks.io_b && s.hooks.io_b->notify13) {
        HookCall mark;
        s.hooks.io_b->notify13(s.source.handle, param);
      }
      return 0;
    case CTL_SOURCE_HANDLE:
      return s.source.handle;
    case CTL_SET_DRIVE_PARAM:
      s.settings.drive_param = p32;
      s.settings.drive_param_set = true;
      if (s.source.drive >= 0 && s.source.type == SourceType::file) {
        for (int i = 0; i < 11 && !sector_command(s.source.drive, SECTREL_CMD_PARAM_READY, 0); ++i) {
        }
        sector_command(s.source.drive, SECTREL_CMD_DRIVE_PARAM, p32);
      }
      return 0;
    case CTL_SET_FILE_IO_B:
      s.hooks.io_b = reinterpret_cast<const FileIoTable *>(param);
      return 0;
    case CTL_WAIT_SYSTEM_HEADER:
      s.settings.wait_system_header = param != 0;
      return 0;
    case CTL_JOIN_VTS:
      return join_title_set(s, reinterpret_cast<const DravikJoinRequest *>(param));
    case CTL_ADD_PLUGIN:
      if (param && s.hooks.plugins.size() < 32)
        s.hooks.plugins.push_back(reinterpret_cast<SourcePlugin *>(param));
      return 0;
    case CTL_RELEASE_PLUGINS:
      release_plugins(s);
      return 0;
    case CTL_PLUGIN_ACTIVE:
      return reinterpret_cast<intptr_t>(s.hooks.active_plugin);
    case CTL_QUEUE_TAKE: {
      void *item = nullptr;
      return s.queue.take(&item) ? reinterpret_cast<intptr_t>(item) : 0;
    }
    case CTL_DRIVE_ENTRY:
      return reinterpret_cast<intptr_t>(sector_api().command);
    case CTL_SOURCE_SIZE:
      return saturate_int32(s.source.size);
    case CTL_IS_DVD:
      return s.source.dvd ? 1 : 0;
    case CTL_SECTOR_SCALE:
      return s.source.sector_scale;
    case CTL_SET_TS_DIVISOR:
      s.settings.ts_divisor = p32;
      return 0;
    case CTL_SET_NO_PROBE:
      s.settings.no_probe = param != 0;
      return 0;
    case CTL_READ_BLOCK: {
      int32_t n = load_parse_block(s);
      if (param) *reinterpret_cast<const void **>(param) = s.parse.bytes.get();
      return n;
    }
    case CTL_EXTRACT_ENABLE:
      extract_enable(s);
      return 0;
    case CTL_SET_WRITER:
      s.hooks.writer = reinterpret_cast<ExtractWriter>(param);
      s.settings.extract_mode = 2;
      return 0;
    case CTL_SET_FILE_IO_C:
      s.hooks.io_c = reinterpret_cast<const FileIoTableC *>(param);
      return 0;
    case CTL_ADD_SINK:
      return add_sink(s, p32);
    case CTL_REMOVE_SINK:
      remove_sink(s, p32);
      return 0;
    case CTL_SPU_TABLE:
      return reinterpret_cast<intptr_t>(&s.select.spu_seen);
    case CTL_AUDIO_PREFER_ADD:
      s.select.audio_prefer.append(p32);
      return 0;
    case CTL_SPU_PREFER_ADD:
      s.select.spu_prefer.append(p32);
      return 0;
    default:
      return 0;
  }
}

}  // namespace dravik
