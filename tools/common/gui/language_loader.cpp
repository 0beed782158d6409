#include "tools/common/gui/language_loader.h"

#include <QCoreApplication>
#include <QDir>

#include "tools/common/program_settings.h"

namespace tools_gui {

LanguageLoader::LanguageLoader(QString lib, QString folder)
    : lib_(std::move(lib)), folder_(std::move(folder)) {
  if (folder_.isEmpty()) folder_ = QCoreApplication::applicationDirPath();
}

LanguageLoader::~LanguageLoader() {
  if (translator_) QCoreApplication::removeTranslator(translator_.get());
}

QString LanguageLoader::file_for(int code_page) const {
  return QDir(folder_).filePath(QStringLiteral("ResDll/%1%2.qm").arg(lib_).arg(code_page));
}

bool LanguageLoader::switch_to(int code_page) {
  if (code_page == tools_common::kCodePageEnglish) {
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
    translator_.reset();
    code_page_ = code_page;
    return true;
  }
  if (code_page != tools_common::kCodePageSimplified && code_page != tools_common::kCodePageTraditional)
    return false;
  auto next = std::make_unique<QTranslator>();
  if (!next->load(file_for(code_page)) || next->isEmpty()) return false;
  if (translator_) QCoreApplication::removeTranslator(translator_.get());
  translator_ = std::move(next);
  QCoreApplication::installTranslator(translator_.get());
  code_page_ = code_page;
  return true;
}

int LanguageLoader::start_with(int code_page) {
  if (!switch_to(code_page)) switch_to(tools_common::kCodePageEnglish);
  return code_page_;
}

}  // namespace tools_gui
