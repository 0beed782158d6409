#include "tools/fennick/gui/dialog_settings.h"

#include <cstdlib>

#include "tools/common/program_settings.h"

namespace fennick_gui {

DialogSettings DialogSettings::load() {
  const tools_common::ProgramSettings s(kSection);
  const tools_common::ProgramSettings install("INSTALL");
  DialogSettings d;
  const char *tmp = std::getenv("TMPDIR");
  std::string fallback = install.get_path("INSTALLPATH", "");
  if (fallback.empty()) fallback = tmp && *tmp ? tmp : "/tmp";
  d.output = s.get_path("OUTPUT", fallback);
  if (d.output.empty()) d.output = fallback;
  d.open_path = s.get_path("OPENPATH", "");
  d.smooth_zoom = s.get_flag("SMOOTHZOOM", true);
  d.video_processing = s.get_int("VDOPROCESS", 2, 0, 2);
  return d;
}

bool DialogSettings::save() const {
  const tools_common::ProgramSettings s(kSection);
  bool ok = s.set_path("OUTPUT", output);
  ok = s.set_path("OPENPATH", open_path) && ok;
  ok = s.set_flag("SMOOTHZOOM", smooth_zoom) && ok;
  ok = s.set_int("VDOPROCESS", video_processing) && ok;
  return ok;
}

}  // namespace fennick_gui
