// Display time: where the picture on screen lies in the stream's time, how
// long it stays, and seeking to a time.
#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"

namespace kestrum::commands {

bool time_stream(int32_t cmd, intptr_t arg, intptr_t &result) {
  switch (cmd) {
    case VCMD_PICTURE_TIME:
      result = engine_picture_time();
      return true;
    case VCMD_PICTURE_FIELDS: {
      KestrumPicture picture{};
      platform::Lock lock(engine().engine_lock);
      result = !decoder().current_picture(&picture) ? -1 : picture.fields > 0 ? picture.fields : 2;
      return true;
    }
    case VCMD_SEEK_TIME:
      result = arg < 0 || arg > INT32_MAX ? 0 : engine_seek_time(static_cast<int32_t>(arg));
      return true;
    default:
      return false;
  }
}

}  // namespace kestrum::commands
