// The stream choices of the previewed source: audio streams, subpictures and
// angles, from the DVD title information when the engine has it, else from
// the ids the media layer has seen. Refreshed while previewing; the choice
// shown is kept by id.
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QMenu>

#include "media/media_api.h"
#include "tools/fennick/gui/fennick_window.h"
#include "tools/fennick/gui/texts.h"
#include "video/video_api.h"

namespace fennick_gui {

namespace {

enum MenuKind { kAudioMenu, kSpuMenu, kAngleMenu };

std::vector<int32_t> id_list(int count_cmd, int list_cmd) {
  const auto count = static_cast<int32_t>(SysControl(count_cmd, 0));
  const auto *ids = reinterpret_cast<const int32_t *>(SysControl(list_cmd, 0));
  std::vector<int32_t> out;
  if (ids && count > 0) out.assign(ids, ids + std::min<int32_t>(count, 256));
  return out;
}

}  // namespace

tools_common::StreamLabelTexts FennickWindow::label_texts() const {
  tools_common::StreamLabelTexts t;
  t.audio_stream = text(kTxtAudioStream).toStdString();
  t.language = text(kTxtLanguage).toStdString();
  t.subpicture = text(kTxtSubpicture).toStdString();
  t.no_subpicture = text(kTxtNoSubpicture).toStdString();
  t.angle = text(kTxtAngle).toStdString();
  t.any_angle = text(kTxtAnyAngle).toStdString();
  return t;
}

void FennickWindow::fill_choice(QComboBox *list, const tools_common::StreamChoice &choice) {
  // Unchanged entries are left alone, so an open list does not flicker.
  bool same = list->count() == static_cast<int>(choice.entries.size());
  for (int i = 0; same && i < list->count(); ++i)
    same = list->itemText(i) == QString::fromStdString(choice.entries[i].label) &&
           list->itemData(i).toInt() == choice.entries[i].id;
  filling_ = true;
  if (!same) {
    list->clear();
    for (const auto &e : choice.entries) list->addItem(QString::fromStdString(e.label), e.id);
  }
  if (list->currentIndex() != choice.selected) list->setCurrentIndex(choice.selected);
  list->setEnabled(choice.enabled && !running_);
  filling_ = false;
}

void FennickWindow::fill_menu(QMenu *menu, const tools_common::StreamChoice &choice, int kind) {
  if (menu->isVisible()) return;  // never pull entries from under the user
  // The same entries as shown: only the check mark may move.
  const QList<QAction *> shown = menu->actions();
  bool same = shown.size() == static_cast<int>(choice.entries.size());
  for (int i = 0; same && i < shown.size(); ++i)
    same = shown[i]->text() == QString::fromStdString(choice.entries[i].label) &&
           shown[i]->data().toInt() == choice.entries[i].id;
  if (same) {
    for (int i = 0; i < shown.size(); ++i) shown[i]->setChecked(i == choice.selected);
    return;
  }
  menu->clear();
  for (QActionGroup *old : menu->findChildren<QActionGroup *>(QString(), Qt::FindDirectChildrenOnly))
    delete old;
  auto *group = new QActionGroup(menu);
  for (size_t i = 0; i < choice.entries.size(); ++i) {
    const auto &e = choice.entries[i];
    QAction *a = menu->addAction(QString::fromStdString(e.label));
    a->setCheckable(true);
    a->setChecked(static_cast<int>(i) == choice.selected);
    a->setData(e.id);
    group->addAction(a);
    const int32_t id = e.id;
    connect(a, &QAction::triggered, this, [this, id, kind] {
      if (kind == kAudioMenu) {
        // The pop-up selects only a stream other than the current one.
        if (SysControl(CTL_AUDIO_CURRENT, 0) != id) choose_audio(id);
      } else if (kind == kSpuMenu) {
        choose_subpicture(id);
      } else {
        choose_angle(id);
      }
    });
  }
  if (kind == kAngleMenu && choice.entries.size() == 1) menu->actions().front()->setEnabled(false);
}

void FennickWindow::refresh_streams() {
  using namespace tools_common;
  if (running_) return;
  const StreamLabelTexts texts = label_texts();
  StreamChoice audio, spu, angle, angle_popup;
  if (preview_open_) {
    const std::vector<int32_t> seen_audio = id_list(CTL_AUDIO_COUNT, CTL_AUDIO_LIST);
    const auto audio_current = static_cast<int32_t>(SysControl(CTL_AUDIO_CURRENT, 0));
    const auto dvd_audio = static_cast<int32_t>(VideoCommand(VCMD_DVD_AUDIO_COUNT, 0));
    if (dvd_audio >= 0) {
      const auto *recs = reinterpret_cast<const uint8_t *>(VideoCommand(VCMD_DVD_AUDIO_ATTRIBUTES, 0));
      audio = dvd_audio_choice(recs, dvd_audio, seen_audio, audio_current, names_, texts);
    } else {
      audio = plain_audio_choice(seen_audio, audio_current, texts);
    }
    const auto spu_current = static_cast<int32_t>(SysControl(CTL_SPU_CURRENT, 0));
    const auto dvd_spu = static_cast<int32_t>(VideoCommand(VCMD_DVD_SPU_COUNT, 0));
    if (dvd_spu >= 0) {
      const auto *recs = reinterpret_cast<const uint8_t *>(VideoCommand(VCMD_DVD_SPU_ATTRIBUTES, 0));
      spu = dvd_spu_choice(recs, dvd_spu, spu_current, names_, texts);
    } else {
      spu = plain_spu_choice(id_list(CTL_SPU_COUNT, CTL_SPU_LIST), spu_current, texts);
    }
    const auto angles = static_cast<int32_t>(SysControl(CTL_ANGLE_COUNT, 0));
    const auto angle_current = static_cast<int32_t>(SysControl(CTL_ANGLE_CURRENT, 0));
    angle = angle_choice(angles, angle_current, false, texts);
    angle_popup = angle_choice(angles, angle_current, true, texts);
  } else {
    spu = plain_spu_choice({}, kNoSubpicture, texts);
    spu.enabled = false;
    angle_popup = angle_choice(0, kAnyAngle, true, texts);
  }
  fill_choice(audio_, audio);
  fill_choice(spu_, spu);
  fill_choice(angle_, angle);
  fill_menu(audio_menu_, audio, kAudioMenu);
  // The pop-up lists "No Subpicture" first.
  StreamChoice spu_popup = spu;
  if (!spu_popup.entries.empty()) {
    std::rotate(spu_popup.entries.rbegin(), spu_popup.entries.rbegin() + 1, spu_popup.entries.rend());
    spu_popup.selected = spu_popup.index_of(
        static_cast<int32_t>(preview_open_ ? SysControl(CTL_SPU_CURRENT, 0) : kNoSubpicture));
  }
  fill_menu(spu_menu_, spu_popup, kSpuMenu);
  fill_menu(angle_menu_, angle_popup, kAngleMenu);
}

void FennickWindow::choose_audio(int32_t id) {
  if (running_ || !preview_open_) return;
  SysControl(CTL_AUDIO_SELECT, id);
  audio_chosen_ = true;
  refresh_streams();
}

void FennickWindow::choose_subpicture(int32_t id) {
  if (running_ || !preview_open_) return;
  if (id == tools_common::kNoSubpicture) {
    SysControl(CTL_SPU_ENABLE, 0);
  } else {
    SysControl(CTL_SPU_ENABLE, 1);
    if (SysControl(CTL_SPU_CURRENT, 0) != id) {
      VideoCommand(VCMD_REDRAW_SUBPICTURES, 0);
      SysControl(CTL_SPU_SELECT, id);
    }
  }
  spu_chosen_ = true;
  refresh_streams();
}

void FennickWindow::choose_angle(int32_t angle) {
  if (running_ || !preview_open_) return;
  const auto current = static_cast<int32_t>(SysControl(CTL_ANGLE_CURRENT, 0));
  if (angle == tools_common::kAnyAngle) {
    SysControl(CTL_ANGLE_SELECT, 0);
  } else if (angle != current) {
    SysControl(CTL_ANGLE_SELECT, angle);
    // Step back a sector so the reader lands in the new angle's cells.
    const int32_t pos = VideoSeek(0, 1);
    VideoSeek(pos <= 2048 ? 16 : -2048, 1);
  }
  angle_chosen_ = true;
  refresh_streams();
}

}  // namespace fennick_gui
