// The window's string table: ids with their English texts as designed, all
// in the translation context "Tovik" (the translations are
// lang/Tovik936.ts and Tovik950.ts). Texts are filled with
// tools_common::format_text, never as printf formats.
#pragma once

#include <QString>
#include <vector>

#include "tools/common/text_format.h"

namespace fennick_gui {

inline constexpr const char *kTextContext = "Tovik";

enum TextId : int {
  kTxtColumns = 25,       // "Input Files@Output Files@"
  kTxtProgress = 27,      // "Progress"
  kTxtStatus = 29,        // "Status"
  kTxtNoSubpicture = 33,  // "No Subpicture"
  kTxtSubpicture = 35,    // "Subpicture [%d]"
  kTxtAudioStream = 37,   // "Audio Stream [%x]"
  kTxtLanguage = 39,      // "Language [%d]"
  kTxtAngle = 41,         // "Angle [%d]"
  kTxtAnyAngle = 55,      // "Any Angle"
  kTxtLanguageFile = 57,  // "english.lcd"
  kTxtChooseOutput = 58,  // "Please Select Output Path"
  // Controls, menus, tooltips and small dialogs.
  kTxtTitle = 100,
  kTxtPreview,
  kTxtWidth,
  kTxtHeight,
  kTxtPrimalSize,
  kTxtFrameRate,
  kTxtLayer,
  kTxtBitRate,
  kTxtDataRate,
  kTxtVcdFormat,
  kTxtShutdown,
  kTxtSubpic,
  kTxtLanguageLabel,
  kTxtAngleLabel,
  kTxtSubPictureButton,
  kTxtLayerI,
  kTxtLayerII,
  kTxtOpen,
  kTxtSelectOutputPath,
  kTxtPlay,
  kTxtStopPlaying,
  kTxtLoop,
  kTxtSelectStart,
  kTxtSelectEnd,
  kTxtOutput,
  kTxtStopOutputing,
  kTxtDeleteSelected,
  kTxtDeleteAll,
  kTxtMenuFile,
  kTxtMenuControl,
  kTxtMenuHelp,
  kTxtMenuOpen,
  kTxtMenuSelectOutput,
  kTxtMenuDeleteSelected,
  kTxtMenuDeleteAll,
  kTxtMenuExit,
  kTxtMenuPlay,
  kTxtMenuStopPlay,
  kTxtMenuLoop,
  kTxtMenuStartPoint,
  kTxtMenuEndPoint,
  kTxtMenuOutput,
  kTxtMenuStopOutput,
  kTxtMenuVideoHandle,
  kTxtMenuAbout,
  kTxtMenuEnglish,
  kTxtMenuSimplified,
  kTxtMenuTraditional,
  kTxtMenuChangeName,
  kTxtMenuChangePath,
  kTxtVideoHandle,
  kTxtFastSpeed,
  kTxtMmx,
  kTxtHighQuality,
  kTxtSmoothZoom,
  kTxtOk,
  kTxtCancel,
  kTxtNameNotice,
  kTxtNameInput,
  kTxtOpenFilter,
  kTxtAboutText,
  kTxtNoDisplay,
  kTxtLast
};

/// The English text of an id (the engine's status ids included).
const char *english_text(int id);
/// The text of an id in the current language (English when the
/// translation lacks it).
QString text(int id);
/// text(id) filled with args.
QString text(int id, const std::vector<tools_common::TextArg> &args);
/// Every id of the table, for the translation checks.
std::vector<int> all_text_ids();

}  // namespace fennick_gui
