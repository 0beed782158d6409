// Opening files, output names, the preview and the stream lists.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "media/media_api.h"
#include "platform/ini.h"
#include "tools/common/gui/job_list.h"
#include "tools/common/gui/preview_widget.h"
#include "tools/fennick/gui/small_dialogs.h"
#include "tools/fennick/gui/texts.h"
#include "video/video_api.h"
#include "window_fixture.h"

namespace fennick_gui_test {

namespace {

TEST(FennickWindow, OpenTakesPlayableFilesOnceAndPreviewsTheFirst) {
  WindowHarness h;
  QTemporaryDir tmp;
  const QString text_file = tmp.filePath("notes.txt");
  QFile f(text_file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("just some words, not a stream\n");
  f.close();
  const QString dvd = sample("dvd_sample.vob");
  QString dvd_other_case = dvd;
  dvd_other_case.replace("dvd_sample.vob", "DVD_SAMPLE.VOB");
  h.open({media("mpeg1_system.mpg"), media("vob_ac3_lpcm.vob"), dvd, dvd_other_case,
          media("audio_l2_44k_joint.mp2"), tmp.path(), text_file});
  auto *list = h.window->job_list();
  ASSERT_EQ(list->row_count(), 3);
  EXPECT_EQ(list->output(0), h.out_dir + "/mpeg1_system.MPG");
  EXPECT_EQ(list->output(1), h.out_dir + "/vob_ac3_lpcm.MPG");
  EXPECT_EQ(list->output(2), h.out_dir + "/dvd_sample.MPG");
  EXPECT_EQ(h.window->width_list()->currentText(), "352");
  EXPECT_EQ(h.window->height_list()->currentText(), "288");
  EXPECT_TRUE(h.window->primal_size_box()->isChecked());
  EXPECT_EQ(h.window->frame_list()->currentText(), "25");

  // The preview against ffmpeg's first picture, both at 88x72.
  QCoreApplication::processEvents();
  const QImage shown = h.window->preview()->picture();
  ASSERT_FALSE(shown.isNull()) << "presented " << h.window->preview()->presented_count() << " dropped "
                               << h.window->preview()->dropped_count();
  bool ok = false;
  const std::string rgb = run_tool("ffmpeg",
                                   {"-v", "error", "-i", media("mpeg1_system.mpg"), "-frames:v", "1", "-vf",
                                    "scale=88:72:flags=area", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                                   &ok);
  ASSERT_TRUE(ok) << "ffmpeg is needed as the oracle";
  ASSERT_EQ(rgb.size(), 88u * 72 * 3);
  QImage ref(reinterpret_cast<const uchar *>(rgb.data()), 88, 72, 88 * 3, QImage::Format_RGB888);
  const QImage small = shown.scaled(88, 72, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_RGB32);
  EXPECT_GE(rgb_psnr(small, ref.convertToFormat(QImage::Format_RGB32)), 20.0);

  // Grabs: opaque preview (the engine's fourth byte is 0) and the window.
  const QImage grab = h.window->preview()->grab().toImage();
  grab.save(artifacts_dir() + "/open_preview.png");
  h.window->grab().save(artifacts_dir() + "/open_window.png");
  EXPECT_EQ(qAlpha(grab.pixel(grab.width() / 2, grab.height() / 2)), 255);
  int dark = 0;
  for (int x = 0; x < grab.width(); x += 4) dark += qGray(grab.pixel(x, grab.height() / 2)) < 16;
  EXPECT_LT(dark, grab.width() / 8) << "the picture should fill the preview's middle row";

  // Deleting the first row previews the next; deleting all greys the options.
  list->topLevelItem(0)->setSelected(true);
  h.window->delete_selected();
  EXPECT_EQ(list->row_count(), 2);
  EXPECT_EQ(h.window->width_list()->currentText(), "720");
  h.window->delete_all();
  EXPECT_EQ(list->row_count(), 0);
  EXPECT_FALSE(h.window->preview_open());
  EXPECT_FALSE(h.window->width_list()->isEnabled());
  EXPECT_FALSE(h.window->vcd_box()->isEnabled());
}

TEST(FennickWindow, OutputNamesNeverClash) {
  WindowHarness h;
  QTemporaryDir a, b;
  for (const QString &dir : {a.path(), b.path()}) QFile::copy(media("mpeg1_system.mpg"), dir + "/clip.ts");
  QFile::copy(media("mpeg1_system.mpg"), a.path() + "/clip.MPG");
  h.open({a.path() + "/clip.ts", b.path() + "/clip.ts"});
  auto *list = h.window->job_list();
  ASSERT_EQ(list->row_count(), 2);
  EXPECT_EQ(list->output(0), h.out_dir + "/clip.MPG");
  EXPECT_EQ(list->output(1), h.out_dir + "/clip_2.MPG");
  // An output folder holding an input: its row's output must not be the input.
  h.prompts.folder = a.path();
  h.window->add_files({a.path() + "/clip.MPG"});
  h.window->choose_output_folder(false);
  EXPECT_EQ(list->output(0), a.path() + "/clip_2.MPG");
  EXPECT_EQ(list->output(1), a.path() + "/clip_3.MPG");
  EXPECT_EQ(list->output(2), a.path() + "/clip_4.MPG");
  for (int r = 0; r < list->row_count(); ++r)
    for (int k = 0; k < list->row_count(); ++k) EXPECT_NE(list->output(r), list->input(k));
  // A changed name gets ".MPG" unless it has it.
  list->clearSelection();
  list->topLevelItem(1)->setSelected(true);
  h.prompts.typed = "holiday";
  h.window->change_selected_name();
  EXPECT_EQ(list->output(1), a.path() + "/holiday.MPG");
  h.prompts.typed = "trip.mpg";
  h.window->change_selected_name();
  EXPECT_EQ(list->output(1), a.path() + "/trip.mpg");
}

TEST(FennickWindow, SmallRulesTable) {
  struct {
    int64_t pos, len;
    int want;
  } sliders[] = {
      {0, 0, 0}, {50, 99, 0}, {50, 100, 50}, {3'000'000'000LL, 4'000'000'000LL, 75}, {1000, 1000, 100}};
  for (const auto &s : sliders) EXPECT_EQ(fennick_gui::slider_percent(s.pos, s.len), s.want) << s.pos;
  struct {
    int size, index;
  } sizes[] = {{720, 44}, {480, 29}, {352, 21}, {8, 0}, {0, 0}, {4096, 63}, {-16, 0}};
  for (const auto &s : sizes) EXPECT_EQ(fennick_gui::size_index(s.size), s.index) << s.size;
  struct {
    const char *typed, *want;
  } names[] = {{"clip", "clip.MPG"}, {"clip.mpg", "clip.mpg"}, {".MPG", ".MPG.MPG"}, {"a.MPG", "a.MPG"}};
  for (const auto &n : names) EXPECT_EQ(fennick_gui::with_mpg_extension(n.typed), QString(n.want)) << n.typed;
}

TEST(FennickWindow, StreamListsOfAVobWithThreeAudioStreams) {
  WindowHarness h;
  h.open({media("vob_ac3_lpcm.vob")});
  ASSERT_TRUE(h.window->preview_open());
  // ffprobe's ids of the audio streams.
  bool ok = false;
  const std::string ids = run_tool("ffprobe",
                                   {"-v", "error", "-select_streams", "a", "-show_entries", "stream=id",
                                    "-of", "csv=p=0", media("vob_ac3_lpcm.vob")},
                                   &ok);
  ASSERT_TRUE(ok) << "ffprobe is needed as the oracle";
  QList<int> want;
  for (const QString &line : QString::fromStdString(ids).split('\n', Qt::SkipEmptyParts)) {
    const QString id = line.trimmed();
    want << (id.startsWith("0x") ? id.mid(2).toInt(nullptr, 16) : id.toInt()) % 256;
  }
  std::sort(want.begin(), want.end());
  ASSERT_EQ(want, (QList<int>{0x80, 0xA0, 0xC0}));
  // Preview a while: the media layer finds the streams as it reads.
  h.window->play();
  auto *audio = h.window->audio_list();
  QTRY_VERIFY_WITH_TIMEOUT(audio->count() == 3 || !h.window->preview_open(), 60000);
  h.window->stop_playing();
  QList<int> got;
  for (int i = 0; i < audio->count(); ++i) got << audio->itemData(i).toInt();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want);
  h.window->choose_audio(0xC0);
  EXPECT_EQ(SysControl(CTL_AUDIO_CURRENT, 0), 0xC0);
  EXPECT_EQ(audio->itemData(audio->currentIndex()).toInt(), 0xC0);
  auto *spu = h.window->subpicture_list();
  ASSERT_EQ(spu->count(), 1);
  EXPECT_EQ(spu->itemText(0), fennick_gui::text(fennick_gui::kTxtNoSubpicture));
  EXPECT_FALSE(h.window->angle_list()->isEnabled());
  h.window->grab().save(artifacts_dir() + "/streams_window.png");
}

}  // namespace
}  // namespace fennick_gui_test
