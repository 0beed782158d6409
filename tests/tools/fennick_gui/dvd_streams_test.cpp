// The stream lists of a DVD title: labels and numbers from the title set's
// attribute records (read by the engine through libdvdread), checked against
// lsdvd's reading of the same disc and ffprobe's of the VOB.
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>
#include <map>
#include <vector>

#include "media/media_api.h"
#include "tools/fennick/gui/texts.h"
#include "video/video_api.h"
#include "window_fixture.h"

namespace fennick_gui_test {
namespace {

// One stream of lsdvd's XML listing: the tags under <audio> or <subp>.
using LsdvdStream = std::map<QString, QString>;

struct LsdvdTitle {
  std::vector<LsdvdStream> audio, subpictures;
};

LsdvdTitle lsdvd_title(const QString &disc) {
  bool ok = false;
  const std::string xml = run_tool("lsdvd", {"-x", "-Ox", disc}, &ok);
  EXPECT_TRUE(ok) << "lsdvd is needed as the oracle";
  LsdvdTitle title;
  // libdvdread writes its notices to standard output ahead of the listing.
  const size_t start = xml.find("<?xml");
  EXPECT_NE(start, std::string::npos) << xml;
  QXmlStreamReader r(QByteArray::fromStdString(start == std::string::npos ? "" : xml.substr(start)));
  std::vector<LsdvdStream> *into = nullptr;
  LsdvdStream current;
  while (!r.atEnd()) {
    r.readNext();
    if (r.isStartElement()) {
      if (r.name() == u"audio" || r.name() == u"subp") {
        into = r.name() == u"audio" ? &title.audio : &title.subpictures;
        current.clear();
      } else if (into) {
        current[r.name().toString()] = r.readElementText();
      }
    } else if (r.isEndElement() && into && (r.name() == u"audio" || r.name() == u"subp")) {
      into->push_back(current);
      into = nullptr;
    }
  }
  EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
  return title;
}

// The audio ids ffprobe finds in a VOB (private stream 1 sub-ids and MPEG
// stream ids both as one byte).
std::vector<int> ffprobe_audio_ids(const QString &vob) {
  bool ok = false;
  const std::string ids = run_tool(
      "ffprobe", {"-v", "error", "-select_streams", "a", "-show_entries", "stream=id", "-of", "csv=p=0", vob},
      &ok);
  EXPECT_TRUE(ok) << "ffprobe is needed as the oracle";
  std::vector<int> out;
  for (const QString &line : QString::fromStdString(ids).split('\n', Qt::SkipEmptyParts))
    out.push_back(line.trimmed().mid(2).toInt(nullptr, 16) % 256);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::pair<QString, int>> entries(const QComboBox *list) {
  std::vector<std::pair<QString, int>> out;
  for (int i = 0; i < list->count(); ++i) out.emplace_back(list->itemText(i), list->itemData(i).toInt());
  return out;
}

using Entries = std::vector<std::pair<QString, int>>;

TEST(FennickDvd, TitleStreamListsFollowTheTitleInformation) {
  const QString disc = media("fgui_disc");
  const QString vob = disc + "/VIDEO_TS/VTS_01_1.VOB";
  ASSERT_TRUE(QFile::exists(vob)) << "test disc missing: scripts/media.d/fengui";

  // The disc as lsdvd reads it: the records number the Layer II stream
  // 0xC1 (second audio stream), the VOB carries it as 0xC0.
  const LsdvdTitle facts = lsdvd_title(disc);
  ASSERT_EQ(facts.audio.size(), 2u);
  ASSERT_EQ(facts.subpictures.size(), 1u);
  const struct {
    const char *lang, *format, *channels, *id;
  } want_audio[] = {{"en", "ac3", "2", "0x80"}, {"de", "mpeg1", "2", "0xc1"}};
  for (size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(facts.audio[k].at("langcode"), want_audio[k].lang);
    EXPECT_EQ(facts.audio[k].at("format"), want_audio[k].format);
    EXPECT_EQ(facts.audio[k].at("channels"), want_audio[k].channels);
    EXPECT_EQ(facts.audio[k].at("streamid"), want_audio[k].id);
  }
  EXPECT_EQ(facts.subpictures[0].at("langcode"), "fr");
  EXPECT_EQ(ffprobe_audio_ids(vob), (std::vector<int>{0x80, 0xC0}));

  WindowHarness h;
  h.open({vob});
  ASSERT_TRUE(h.window->preview_open());
  // The engine read the title set's information: the DVD labels apply.
  EXPECT_EQ(VideoCommand(VCMD_DVD_AUDIO_COUNT, 0), 2);
  EXPECT_EQ(VideoCommand(VCMD_DVD_SPU_COUNT, 0), 1);
  auto *audio = h.window->audio_list();
  auto *spu = h.window->subpicture_list();
  // The record's 0xC1 turns into the seen 0xC0 once the media layer has met
  // that stream: preview until it has, and has met the subpicture.
  const Entries want = {{"English\t(AUDIO)[2]", 0x80}, {"German\t(MPEG)[2]", 0xC0}};
  h.window->play();
  QTRY_VERIFY_WITH_TIMEOUT(
      (entries(audio) == want && SysControl(CTL_SPU_COUNT, 0) > 0) || !h.window->preview_open(), 60000);
  h.window->stop_playing();
  EXPECT_EQ(entries(audio), want);
  EXPECT_TRUE(audio->isEnabled());
  EXPECT_EQ(entries(spu), (Entries{{"French", 0}, {fennick_gui::text(fennick_gui::kTxtNoSubpicture), -1}}));

  // The pop-up offers the same streams; choosing one selects it in the media
  // layer and in the list.
  QStringList popup;
  for (const QAction *a : h.window->audio_menu()->actions()) popup << a->text();
  EXPECT_EQ(popup, (QStringList{want[0].first, want[1].first}));
  h.window->choose_audio(0xC0);
  EXPECT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), 0xC0);
  EXPECT_EQ(audio->currentIndex(), 1);
  h.window->choose_subpicture(0);
  EXPECT_EQ(SysControl(CTL_SPU_CURRENT, 0), 0);  // the media layer numbers 0x20 as 0
  EXPECT_EQ(spu->currentIndex(), 0);

  // A ".lcd" line renames German; the choice stays on its stream.
  QTemporaryDir tmp;
  QFile lcd(tmp.filePath("names.lcd"));
  ASSERT_TRUE(lcd.open(QIODevice::WriteOnly));
  lcd.write("  de Deutsch\r\nfr\n");
  lcd.close();
  h.window->load_language_names(lcd.fileName());
  EXPECT_EQ(audio->itemText(1), "Deutsch\t(MPEG)[2]");
  EXPECT_EQ(audio->itemText(0), "English\t(AUDIO)[2]");
  EXPECT_EQ(audio->currentIndex(), 1);
  EXPECT_EQ(spu->itemText(0), "French");
  h.window->grab().save(artifacts_dir() + "/dvd_streams.png");

  // The same VOB with no title information beside it: the seen ids only.
  h.window->delete_all();
  ASSERT_TRUE(QFile::link(vob, tmp.filePath("loose.vob")));
  h.open({tmp.filePath("loose.vob")});
  ASSERT_TRUE(h.window->preview_open());
  EXPECT_EQ(VideoCommand(VCMD_DVD_AUDIO_COUNT, 0), -1);
  h.window->play();
  QTRY_VERIFY_WITH_TIMEOUT(audio->count() > 0 || !h.window->preview_open(), 60000);
  h.window->stop_playing();
  ASSERT_GE(audio->count(), 1);
  EXPECT_EQ(audio->itemText(0), "Audio Stream [80]");
}

}  // namespace
}  // namespace fennick_gui_test
