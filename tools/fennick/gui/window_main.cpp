#include "tools/fennick/gui/window_main.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "platform/system_info.h"
#include "tools/common/gui/language_loader.h"
#include "tools/common/gui/prompts.h"
#include "tools/common/program_settings.h"
#include "tools/fennick/gui/fennick_window.h"
#include "tools/fennick/gui/texts.h"
#include "video/video_api.h"

namespace fennick_gui {

bool display_available() {
  for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char *s = std::getenv(v);
    if (s && *s) return true;
  }
  return false;
}

int run_window(int argc, char **argv) {
  // Qt aborts without a display; say what to do instead.
  if (!display_available()) {
    std::fprintf(stderr, "%s\n", english_text(kTxtNoDisplay));
    return 2;
  }
  QApplication app(argc, argv);
  tools_gui::LanguageLoader languages(QStringLiteral("Tovik"));
  languages.start_with(tools_common::read_code_page(static_cast<int32_t>(platform::system_code_page())));
  tools_gui::DesktopPrompts prompts;
  int code = 0;
  {
    FennickWindow window(&prompts, &languages);
    QStringList files;
    for (int i = 1; i < argc; ++i) files << QString::fromLocal8Bit(argv[i]);
    window.show();
    window.add_files(files);
    code = app.exec();
  }
  VideoShutdown();
  return code;
}

}  // namespace fennick_gui
