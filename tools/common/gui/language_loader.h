// The interface language of a program: a compiled translation
// "<program folder>/ResDll/<lib><code page>.qm" installed on the application.
// A switch loads the new file first and changes nothing when that fails;
// code page 0 (or no loadable file) means the built-in English texts.
// Installing or removing a translator sends QEvent::LanguageChange to every
// widget, which retranslates the live window.
#pragma once

#include <QString>
#include <QTranslator>
#include <memory>

namespace tools_gui {

class LanguageLoader {
 public:
  /// lib: the translation's base name ("Tovik"). folder: where "ResDll"
  /// lies (default the program's folder).
  explicit LanguageLoader(QString lib, QString folder = QString());
  ~LanguageLoader();

  /// The file a code page loads from.
  QString file_for(int code_page) const;
  /// Switches to code_page (0, 936 or 950). False, with nothing changed,
  /// when the file does not load or the page is unknown.
  bool switch_to(int code_page);
  /// At start: the page asked for, or 0 when its file does not load.
  int start_with(int code_page);
  int code_page() const { return code_page_; }

 private:
  QString lib_;
  QString folder_;
  int code_page_ = 0;
  std::unique_ptr<QTranslator> translator_;
};

}  // namespace tools_gui
