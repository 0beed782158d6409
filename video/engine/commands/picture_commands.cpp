// The picture: colour and tint, the converters' settings, the frame-copy
// routines, the current picture's sizes and planes, holding it while a
// program copies it, and the per-picture routines.
#include "components/glyvex/glyvex.h"
#include "platform/lock.h"
#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"
#include "video/engine/output_link.h"
#include "video/engine/subpicture_link.h"

namespace kestrum::commands {

namespace {

// VCMD_TINT_CB_DOWN / VCMD_TINT_CR_DOWN lower the tint by this much.
constexpr int32_t kTintStep = 4;

// The plane record of the current picture, or null before the first.
KestrumPlaneRecord *plane_record() {
  Engine &e = engine();
  KestrumPicture pic{};
  if (!decoder().current_picture(&pic)) return nullptr;
  e.plane_record.y = const_cast<uint8_t *>(pic.y);
  e.plane_record.cb = const_cast<uint8_t *>(pic.cb);
  e.plane_record.cr = const_cast<uint8_t *>(pic.cr);
  e.plane_record.y_pitch = pic.y_pitch;
  e.plane_record.cb_pitch = pic.c_pitch;
  e.plane_record.cr_pitch = pic.c_pitch;
  return &e.plane_record;
}

int32_t release_picture() {
  Engine &e = engine();
  EngineState &s = e.state;
  s.picture.picture_held = 0;
  subpicture_release();
  GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
  if (s.picture.post_frame_callback) s.picture.post_frame_callback(e.display.window(), 0);
  return 1;
}

}  // namespace

Outcome picture_setting(int32_t cmd, intptr_t arg, intptr_t &result) {
  Engine &e = engine();
  EngineState &s = e.state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case VCMD_GET_PIXEL_LAYOUT:
      result = s.picture.pixel_layout;
      return Outcome::done;
    case VCMD_SET_PIXEL_LAYOUT:
      result = s.picture.pixel_layout;
      s.picture.pixel_layout = value;
      return Outcome::done;
    case VCMD_BRIGHTNESS:
      s.picture.brightness = static_cast<int8_t>(value & 0xFF);
      output_set_brightness(value);
      result = 0;
      return Outcome::done;
    case VCMD_FRAME_COPY:
    case VCMD_FRAME_COPY_SMOOTH:
      result = reinterpret_cast<intptr_t>(frame_copy_routine(cmd == VCMD_FRAME_COPY_SMOOTH));
      return Outcome::done;
    case VCMD_GET_FRAME_HOOK:
      result = s.picture.frame_hook;
      return Outcome::done;
    case VCMD_SET_FRAME_HOOK: {
      platform::Lock lock(e.engine_lock);
      result = s.picture.frame_hook;
      s.picture.frame_hook = arg;
      return Outcome::done;
    }
    case VCMD_SET_POST_FRAME_CALLBACK:
      if (arg != KESTRUM_PELL_MARKER)
        s.picture.post_frame_callback = reinterpret_cast<KestrumPostFrameCallback>(arg);
      result = 0;
      return Outcome::done;
    case VCMD_CONVERTER_COLUMN:
      result = s.picture.converter_column;
      s.picture.converter_column = value ? 1 : 0;
      return Outcome::done;
    default:
      return Outcome::not_mine;
  }
}

bool picture_stream(int32_t cmd, intptr_t arg, intptr_t &result) {
  Engine &e = engine();
  EngineState &s = e.state;
  switch (cmd) {
    case VCMD_TOGGLE_COLOUR:
      engine_set_colour_mode(!s.picture.colour_mode);
      engine_refresh();
      result = 0;
      return true;
    case VCMD_TINT_CB_DOWN:
      result = engine_set_mono_tint(s.picture.mono_tint_cb - kTintStep, s.picture.mono_tint_cr);
      return true;
    case VCMD_TINT_CR_DOWN:
      result = engine_set_mono_tint(s.picture.mono_tint_cb, s.picture.mono_tint_cr - kTintStep);
      return true;
    case VCMD_DECODED_SIZE:
    case VCMD_SEQUENCE_SIZE: {
      StreamParams p;
      decoder().params(&p);
      if (arg) *as_ptr<int32_t>(arg) = p.vertical_size;
      result = p.horizontal_size;
      return true;
    }
    case VCMD_FRAME_RATE_CODE: {
      StreamParams p;
      decoder().params(&p);
      result = p.frame_rate_code;
      return true;
    }
    case VCMD_PLANE_TABLE:
    case VCMD_PLANE_RECORD: {
      KestrumPlaneRecord *record = plane_record();
      if (record && cmd == VCMD_PLANE_TABLE && arg) *as_ptr<void *>(arg) = record->y;
      result = reinterpret_cast<intptr_t>(record);
      return true;
    }
    case VCMD_SET_PICTURE:
      result = 0;
      return true;
    case VCMD_PRESENT_AGAIN: {
      platform::Lock lock(e.engine_lock);
      present_current();
      result = 1;
      return true;
    }
    case VCMD_HOLD_PICTURE:
      s.picture.picture_held = 1;
      subpicture_hold();
      result = 1;
      return true;
    case VCMD_RELEASE_PICTURE:
      result = release_picture();
      return true;
    default:
      return false;
  }
}

}  // namespace kestrum::commands
