// DVD titles and subpictures: the attribute records of the title set being
// played, the subpicture layer, the host's units and navigation record, and
// the held picture with the subpicture burnt in.
#include "components/glyvex/glyvex.h"
#include "video/engine/commands/command_parts.h"
#include "video/engine/dvd_title.h"
#include "video/engine/engine.h"
#include "video/engine/subpicture_link.h"

namespace kestrum::commands {

Outcome dvd_setting(int32_t cmd, intptr_t arg, intptr_t &result) {
  Engine &e = engine();
  EngineState &s = e.state;
  switch (cmd) {
    case VCMD_REDRAW_SUBPICTURES:
      GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
      result = 0;
      return Outcome::done;
    case VCMD_DVD_AUDIO_COUNT:
      result = dvd_audio_count();
      return Outcome::done;
    case VCMD_DVD_SPU_COUNT:
      result = dvd_spu_count();
      return Outcome::done;
    case VCMD_DVD_AUDIO_ATTRIBUTES:
      result = reinterpret_cast<intptr_t>(dvd_audio_attributes());
      return Outcome::done;
    case VCMD_DVD_SPU_ATTRIBUTES:
      result = reinterpret_cast<intptr_t>(dvd_spu_attributes());
      return Outcome::done;
    case VCMD_OPEN_COUNT:
      result = s.source.open_count;
      return Outcome::done;
    case VCMD_SPU_DRAW_MODE:
      result = s.presentation.spu_draw_mode;
      s.presentation.spu_draw_mode = arg ? 1 : 0;
      return Outcome::done;
    case VCMD_OVERLAY_ENTRY:
      result = overlay_picture_routine();
      return Outcome::done;
    case VCMD_GET_VALUE_145:
      result = subpicture_update_routine();
      return Outcome::done;
    case VCMD_NAVIGATION_RECORD:
      dvd_navigation_record(reinterpret_cast<const void *>(arg));
      result = 1;
      return Outcome::done;
    case VCMD_MIX_SUBPICTURE:
      result = subpicture_set_burn_in(arg ? 1 : 0);
      return Outcome::done;
    default:
      return Outcome::not_mine;
  }
}

}  // namespace kestrum::commands
