// The window's keys in "RAZAVORI.INI" section "FENNICK": output folder,
// folder of the last Open, smooth zoom and video processing. Read bounded at
// start, written at exit and before a power-off.
#pragma once

#include <string>

namespace fennick_gui {

inline constexpr const char *kSection = "FENNICK";

struct DialogSettings {
  std::string output;     ///< "OUTPUT": output folder (file-system bytes)
  std::string open_path;  ///< "OPENPATH"
  bool smooth_zoom = true;
  int video_processing = 2;  ///< 0 fast, 1 MMX, 2 high quality

  /// Reads the section; OUTPUT falls back to "INSTALL" "INSTALLPATH", then
  /// to the temporary folder.
  static DialogSettings load();
  bool save() const;
};

}  // namespace fennick_gui
