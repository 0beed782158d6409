// Languages and settings: switching keeps the live window, bad values are
// bounded, and every translation keeps its source's conversions.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <fstream>
#include <sstream>

#include "platform/ini.h"
#include "tools/common/gui/job_list.h"
#include "tools/common/program_settings.h"
#include "tools/common/text_format.h"
#include "tools/fennick/engine/strings.h"
#include "tools/fennick/gui/dialog_settings.h"
#include "tools/fennick/gui/texts.h"
#include "window_fixture.h"

namespace fennick_gui_test {
namespace {

std::string settings_text() {
  std::ifstream f(platform::profile_path("RAZAVORI.INI"));
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(FennickSettings, RoundTripKeepsCommentsAndBoundsBadValues) {
  {
    std::ofstream f(platform::profile_path("RAZAVORI.INI"));
    f << "; the suite's settings\n[SETTING]\nCODEPAGE=1234\n[Fennick]\nVDOPROCESS=9\nSMOOTHZOOM=0\n"
         "Output=/home/u/out, old/\n; kept too\n[TAMSEL]\nX=1\n";
  }
  fennick_gui::DialogSettings s = fennick_gui::DialogSettings::load();
  EXPECT_EQ(s.video_processing, 2);
  EXPECT_FALSE(s.smooth_zoom);
  EXPECT_EQ(s.output, "/home/u/out, old/");
  EXPECT_EQ(tools_common::read_code_page(936), 936);
  s.video_processing = 0;
  s.open_path = "/media/disc";
  ASSERT_TRUE(s.save());
  const fennick_gui::DialogSettings back = fennick_gui::DialogSettings::load();
  EXPECT_EQ(back.video_processing, 0);
  EXPECT_EQ(back.open_path, "/media/disc");
  EXPECT_EQ(back.output, "/home/u/out, old/");
  const std::string text = settings_text();
  EXPECT_NE(text.find("; the suite's settings"), std::string::npos);
  EXPECT_NE(text.find("; kept too"), std::string::npos);
  EXPECT_NE(text.find("[TAMSEL]"), std::string::npos);
  EXPECT_EQ(text.find("[FENNICK]"), std::string::npos);
}

TEST(FennickLanguage, SwitchRetranslatesTheLiveWindowAndKeepsItsState) {
  WindowHarness h;
  h.open({media("vob_ac3_lpcm.vob"), media("mpeg1_system.mpg")});
  auto *list = h.window->job_list();
  ASSERT_EQ(list->row_count(), 2);
  h.window->vcd_box()->setChecked(true);
  h.window->choose_audio(0xC0);
  const QString english_title = h.window->windowTitle();
  ASSERT_TRUE(h.window->switch_language(936)) << "ResDll/Tovik936.qm beside the test";
  EXPECT_NE(h.window->windowTitle(), english_title);
  EXPECT_EQ(list->headerItem()->text(0), QString::fromUtf8("输入文件"));
  EXPECT_EQ(list->row_count(), 2);
  EXPECT_TRUE(h.window->vcd_box()->isChecked());
  EXPECT_TRUE(h.window->preview_open());
  EXPECT_EQ(tools_common::read_code_page(0), 936);
  EXPECT_EQ(settings_text().find("FENNICKTMP"), std::string::npos);
  h.window->grab().save(artifacts_dir() + "/language_936.png");
  ASSERT_TRUE(h.window->switch_language(950));
  EXPECT_EQ(list->headerItem()->text(0), QString::fromUtf8("輸入檔案"));
  ASSERT_TRUE(h.window->switch_language(0));
  EXPECT_EQ(h.window->windowTitle(), english_title);
}

TEST(FennickLanguage, AFileThatDoesNotLoadChangesNothing) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("ResDll");
  QFile bad(dir.path() + "/ResDll/Tovik936.qm");
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not a translation at all");
  bad.close();
  tools_gui::LanguageLoader loader(QStringLiteral("Tovik"), dir.path());
  EXPECT_EQ(loader.start_with(950), 0);  // no file: built-in texts
  EXPECT_FALSE(loader.switch_to(936));
  EXPECT_FALSE(loader.switch_to(1234));
  EXPECT_EQ(loader.code_page(), 0);
  EXPECT_EQ(fennick_gui::text(fennick_gui::kTxtProgress), QString("Progress"));
}

TEST(FennickLanguage, TranslationsKeepConversionsAndAtSigns) {
  // The engine's texts and the window's table agree.
  for (int id : {fennick::kStrOutputFromTo, fennick::kStrFailure, fennick::kStrSuccess,
                 fennick::kStrProcessing, fennick::kStrNotFinished, fennick::kStrQuitting})
    EXPECT_STREQ(fennick_gui::english_text(id), fennick::EngineString(id)) << id;
  const char *src = std::getenv("RAZAVORI_SOURCE_DIR");
  ASSERT_NE(src, nullptr);
  for (const char *name : {"Tovik936.ts", "Tovik950.ts"}) {
    QFile f(QString::fromLocal8Bit(src) + "/tools/fennick/lang/" + name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    QXmlStreamReader xml(&f);
    QMap<QString, QString> translations;
    QString source;
    while (!xml.atEnd()) {
      xml.readNext();
      if (!xml.isStartElement()) continue;
      if (xml.name() == QLatin1String("source")) source = xml.readElementText();
      if (xml.name() == QLatin1String("translation")) translations[source] = xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << name;
    for (int id : fennick_gui::all_text_ids()) {
      const QString english = QString::fromUtf8(fennick_gui::english_text(id));
      ASSERT_TRUE(translations.contains(english)) << name << ": " << english.toStdString();
      const std::string tr = translations[english].toStdString();
      EXPECT_FALSE(tr.empty()) << name << ": " << english.toStdString();
      EXPECT_EQ(tools_common::format_conversions(tr), tools_common::format_conversions(english.toStdString()))
          << name << ": " << tr;
      EXPECT_EQ(std::count(tr.begin(), tr.end(), '@'), english.count('@')) << name << ": " << tr;
    }
  }
}

}  // namespace
}  // namespace fennick_gui_test
