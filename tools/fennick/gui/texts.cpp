#include "tools/fennick/gui/texts.h"

#include <QCoreApplication>

#include "tools/fennick/engine/strings.h"

namespace fennick_gui {
namespace {

struct Entry {
  int id;
  const char *english;
};

// QT_TRANSLATE_NOOP marks each text for Qt's translation tools.
const Entry kTable[] = {
    {kTxtColumns, QT_TRANSLATE_NOOP("Tovik", "Input Files@Output Files@")},
    {kTxtProgress, QT_TRANSLATE_NOOP("Tovik", "Progress")},
    {kTxtStatus, QT_TRANSLATE_NOOP("Tovik", "Status")},
    {kTxtNoSubpicture, QT_TRANSLATE_NOOP("Tovik", "No Subpicture")},
    {kTxtSubpicture, QT_TRANSLATE_NOOP("Tovik", "Subpicture [%d]")},
    {kTxtAudioStream, QT_TRANSLATE_NOOP("Tovik", "Audio Stream [%x]")},
    {kTxtLanguage, QT_TRANSLATE_NOOP("Tovik", "Language [%d]")},
    {kTxtAngle, QT_TRANSLATE_NOOP("Tovik", "Angle [%d]")},
    {fennick::kStrOutputFromTo, QT_TRANSLATE_NOOP("Tovik", "Output From %s to %s")},
    {fennick::kStrFailure, QT_TRANSLATE_NOOP("Tovik", "Failure to output!")},
    {fennick::kStrSuccess, QT_TRANSLATE_NOOP("Tovik", "Success to output!")},
    {fennick::kStrProcessing,
     QT_TRANSLATE_NOOP("Tovik", "System is processing , please wait for a little... ...!")},
    {fennick::kStrNotFinished, QT_TRANSLATE_NOOP("Tovik", "Succeded ,but NOT finished to output!")},
    {fennick::kStrQuitting,
     QT_TRANSLATE_NOOP("Tovik", "System is int process of quiting , please wait for a little... ...!")},
    {kTxtAnyAngle, QT_TRANSLATE_NOOP("Tovik", "Any Angle")},
    {kTxtLanguageFile, QT_TRANSLATE_NOOP("Tovik", "english.lcd")},
    {kTxtChooseOutput, QT_TRANSLATE_NOOP("Tovik", "Please Select Output Path")},
    {kTxtTitle, QT_TRANSLATE_NOOP("Tovik", "Fennick - DVD to MPEG-1")},
    {kTxtPreview, QT_TRANSLATE_NOOP("Tovik", "Preview")},
    {kTxtWidth, QT_TRANSLATE_NOOP("Tovik", "Width")},
    {kTxtHeight, QT_TRANSLATE_NOOP("Tovik", "Height")},
    {kTxtPrimalSize, QT_TRANSLATE_NOOP("Tovik", "Primal Image Size")},
    {kTxtFrameRate, QT_TRANSLATE_NOOP("Tovik", "Frame Rate")},
    {kTxtLayer, QT_TRANSLATE_NOOP("Tovik", "Layer")},
    {kTxtBitRate, QT_TRANSLATE_NOOP("Tovik", "BitRate")},
    {kTxtDataRate, QT_TRANSLATE_NOOP("Tovik", "Data rate")},
    {kTxtVcdFormat, QT_TRANSLATE_NOOP("Tovik", "MPEG file with VCD format")},
    {kTxtShutdown, QT_TRANSLATE_NOOP("Tovik", "Shutdown when completed")},
    {kTxtSubpic, QT_TRANSLATE_NOOP("Tovik", "Subpic")},
    {kTxtLanguageLabel, QT_TRANSLATE_NOOP("Tovik", "Language")},
    {kTxtAngleLabel, QT_TRANSLATE_NOOP("Tovik", "Angle")},
    {kTxtSubPictureButton, QT_TRANSLATE_NOOP("Tovik", "Sub Picture")},
    {kTxtLayerI, QT_TRANSLATE_NOOP("Tovik", "Layer I")},
    {kTxtLayerII, QT_TRANSLATE_NOOP("Tovik", "Layer II")},
    {kTxtOpen, QT_TRANSLATE_NOOP("Tovik", "Open")},
    {kTxtSelectOutputPath, QT_TRANSLATE_NOOP("Tovik", "Select  Output Path")},
    {kTxtPlay, QT_TRANSLATE_NOOP("Tovik", "Play")},
    {kTxtStopPlaying, QT_TRANSLATE_NOOP("Tovik", "Stop playing")},
    {kTxtLoop, QT_TRANSLATE_NOOP("Tovik", "Loop")},
    {kTxtSelectStart, QT_TRANSLATE_NOOP("Tovik", "Select Start Point")},
    {kTxtSelectEnd, QT_TRANSLATE_NOOP("Tovik", "Select End Point")},
    {kTxtOutput, QT_TRANSLATE_NOOP("Tovik", "Output")},
    {kTxtStopOutputing, QT_TRANSLATE_NOOP("Tovik", "Stop outputing")},
    {kTxtDeleteSelected, QT_TRANSLATE_NOOP("Tovik", "Delete selected item")},
    {kTxtDeleteAll, QT_TRANSLATE_NOOP("Tovik", "Delete all")},
    {kTxtMenuFile, QT_TRANSLATE_NOOP("Tovik", "&File")},
    {kTxtMenuControl, QT_TRANSLATE_NOOP("Tovik", "&Control")},
    {kTxtMenuHelp, QT_TRANSLATE_NOOP("Tovik", "&Help")},
    {kTxtMenuOpen, QT_TRANSLATE_NOOP("Tovik", "&Open")},
    {kTxtMenuSelectOutput, QT_TRANSLATE_NOOP("Tovik", "Select Output path")},
    {kTxtMenuDeleteSelected, QT_TRANSLATE_NOOP("Tovik", "Delete selected item")},
    {kTxtMenuDeleteAll, QT_TRANSLATE_NOOP("Tovik", "Delete all items")},
    {kTxtMenuExit, QT_TRANSLATE_NOOP("Tovik", "E&xit")},
    {kTxtMenuPlay, QT_TRANSLATE_NOOP("Tovik", "Play")},
    {kTxtMenuStopPlay, QT_TRANSLATE_NOOP("Tovik", "Stop play")},
    {kTxtMenuLoop, QT_TRANSLATE_NOOP("Tovik", "Loop")},
    {kTxtMenuStartPoint, QT_TRANSLATE_NOOP("Tovik", "Start point")},
    {kTxtMenuEndPoint, QT_TRANSLATE_NOOP("Tovik", "End point")},
    {kTxtMenuOutput, QT_TRANSLATE_NOOP("Tovik", "Output")},
    {kTxtMenuStopOutput, QT_TRANSLATE_NOOP("Tovik", "Stop output")},
    {kTxtMenuVideoHandle, QT_TRANSLATE_NOOP("Tovik", "Video Handle")},
    {kTxtMenuAbout, QT_TRANSLATE_NOOP("Tovik", "About")},
    {kTxtMenuEnglish, QT_TRANSLATE_NOOP("Tovik", "English")},
    {kTxtMenuSimplified, QT_TRANSLATE_NOOP("Tovik", "Simplified Chinese")},
    {kTxtMenuTraditional, QT_TRANSLATE_NOOP("Tovik", "Traditional Chinese")},
    {kTxtMenuChangeName, QT_TRANSLATE_NOOP("Tovik", "Change Selected OutFilename")},
    {kTxtMenuChangePath, QT_TRANSLATE_NOOP("Tovik", "Change Selected OutPath")},
    {kTxtVideoHandle, QT_TRANSLATE_NOOP("Tovik", "Video Handle")},
    {kTxtFastSpeed, QT_TRANSLATE_NOOP("Tovik", "Fast Speed")},
    {kTxtMmx, QT_TRANSLATE_NOOP("Tovik", "MMX Accelerator")},
    {kTxtHighQuality, QT_TRANSLATE_NOOP("Tovik", "High Quality")},
    {kTxtSmoothZoom, QT_TRANSLATE_NOOP("Tovik", "Enable Smooth Zoom")},
    {kTxtOk, QT_TRANSLATE_NOOP("Tovik", "OK")},
    {kTxtCancel, QT_TRANSLATE_NOOP("Tovik", "Cancel")},
    {kTxtNameNotice, QT_TRANSLATE_NOOP("Tovik", "Notice:Only change Selected OutFilename")},
    {kTxtNameInput, QT_TRANSLATE_NOOP("Tovik", "Please Input Filename(*.MPG]")},
    {kTxtOpenFilter, QT_TRANSLATE_NOOP("Tovik", "VOB File(*.VOB)@All Files(*)@")},
    {kTxtAboutText,
     QT_TRANSLATE_NOOP("Tovik", "Fennick %s: converts DVD and MPEG files to MPEG-1 and Video CD.")},
    {kTxtNoDisplay,
     QT_TRANSLATE_NOOP("Tovik", "fennick: no display; use \"fennick convert\" or set DISPLAY")},
};

}  // namespace

const char *english_text(int id) {
  for (const Entry &e : kTable)
    if (e.id == id) return e.english;
  return "";
}

QString text(int id) { return QCoreApplication::translate(kTextContext, english_text(id)); }

QString text(int id, const std::vector<tools_common::TextArg> &args) {
  return QString::fromStdString(tools_common::format_text(text(id).toStdString(), args));
}

std::vector<int> all_text_ids() {
  std::vector<int> ids;
  for (const Entry &e : kTable) ids.push_back(e.id);
  return ids;
}

}  // namespace fennick_gui
