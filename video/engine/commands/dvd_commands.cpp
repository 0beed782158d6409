// DVD titles and subpictures: the attribute records, the subpicture layer
// and the navigation library this platform lacks.
#include "components/glyvex/glyvex.h"
#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"

namespace kestrum::commands {

namespace {

// Attribute copies of the title's audio and subpicture streams: zero while
// not playing a DVD title.
uint8_t g_dvd_audio_attributes[8 * 8] = {};
uint8_t g_dvd_spu_attributes[32 * 6] = {};

}  // namespace

Outcome dvd_setting(int32_t cmd, intptr_t arg, intptr_t &result) {
  Engine &e = engine();
  EngineState &s = e.state;
  switch (cmd) {
    case VCMD_REDRAW_SUBPICTURES:
      GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
      result = 0;
      return Outcome::done;
    case VCMD_DVD_AUDIO_COUNT:
    case VCMD_DVD_SPU_COUNT:
      result = -1;  // not playing from a DVD title
      return Outcome::done;
    case VCMD_DVD_AUDIO_ATTRIBUTES:
      result = reinterpret_cast<intptr_t>(g_dvd_audio_attributes);
      return Outcome::done;
    case VCMD_DVD_SPU_ATTRIBUTES:
      result = reinterpret_cast<intptr_t>(g_dvd_spu_attributes);
      return Outcome::done;
    case VCMD_OPEN_COUNT:
      result = s.source.open_count;
      return Outcome::done;
    case VCMD_SPU_DRAW_MODE:
      result = s.presentation.spu_draw_mode;
      s.presentation.spu_draw_mode = arg ? 1 : 0;
      return Outcome::done;
    case VCMD_OVERLAY_ENTRY:
      result = 0;  // no overlay picture library
      return Outcome::done;
    case VCMD_NAVIGATION_RECORD:
      result = 0;  // no DVD navigation library
      return Outcome::done;
    default:
      return Outcome::not_mine;
  }
}

}  // namespace kestrum::commands
