// The job engine in process: outcomes, status strings, stopping after a
// number of pictures, and rows refused before they start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "tests/support/test_media.h"
#include "tests/tools/fennick/fennick_run.h"
#include "tools/fennick/engine/job_engine.h"
#include "tools/fennick/engine/strings.h"

namespace {

using fennick_test::fresh_folder;
using testing_support::media_path;

// As fennick convert does: a conversion needs no sound device, and probing
// one only costs time (and leaves the sound library's allocations behind).
const bool kNoSoundDevice = [] { return setenv("LUNARET_AUDIO_OUTPUT", "null-untimed", 0) == 0; }();

class Recorder : public fennick::JobObserver {
 public:
  void OnStatus(const fennick::StatusMessage &m) override { texts.push_back(fennick::FormatStatus(m)); }
  void OnPictures(const fennick::PictureProgress &p) override {
    last = p;
    if (stop_after > 0 && p.pictures_out == stop_after && engine) engine->StopJobs();
  }
  void OnRowDone(const fennick::RowResult &r) override { rows.push_back(r); }
  void OnRunEnded(const fennick::RunSummary &s) override {
    ended = true;
    summary = s;
  }
  bool OnShutdownPending() override {
    asked_shutdown = true;
    return true;
  }

  fennick::JobEngine *engine = nullptr;
  int64_t stop_after = 0;
  std::vector<std::string> texts;
  std::vector<fennick::RowResult> rows;
  fennick::PictureProgress last{};
  fennick::RunSummary summary;
  bool ended = false;
  bool asked_shutdown = false;
};

bool saw(const Recorder &r, const char *text) {
  for (const auto &t : r.texts)
    if (t.find(text) != std::string::npos) return true;
  return false;
}

TEST(FennickEngine, StopAfterPicturesKeepsAShorterFile) {
  const std::string dir = fresh_folder("engine_stop");
  Recorder rec;
  int powered_off = 0;
  fennick::JobEngine engine(&rec, [&] { return ++powered_off > 0; });
  rec.engine = &engine;
  rec.stop_after = 40;
  fennick::JobSettings settings;
  settings.video_cd = true;
  settings.shutdown_when_done = true;
  settings.temp_parent = fresh_folder("engine_stop_tmp");
  const std::vector<fennick::JobRow> rows = {{media_path("fen_flash25.vob"), dir + "/one.MPG", {}},
                                             {media_path("fen_gradient.vob"), dir + "/two.MPG", {}}};
  ASSERT_TRUE(engine.StartJobs(settings, rows));
  EXPECT_FALSE(engine.StartJobs(settings, rows));  // one run at a time
  engine.Wait();
  ASSERT_TRUE(rec.ended);
  ASSERT_EQ(rec.rows.size(), 2u);
  EXPECT_EQ(rec.rows[0].outcome, fennick::RowOutcome::kStopped) << rec.rows[0].reason;
  EXPECT_EQ(rec.rows[0].pictures, 40);
  EXPECT_EQ(rec.rows[1].outcome, fennick::RowOutcome::kSkipped);
  EXPECT_TRUE(saw(rec, "Output From "));
  EXPECT_TRUE(saw(rec, "System is processing , please wait for a little... ...!"));
  EXPECT_TRUE(saw(rec, "Succeded ,but NOT finished to output!"));
  EXPECT_TRUE(rec.summary.stopped);
  EXPECT_FALSE(rec.asked_shutdown);  // a stopped run never powers off
  EXPECT_EQ(powered_off, 0);
  const auto streams = encoder_test::probe_streams(dir + "/one.MPG");
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("nb_read_frames"), "40");
  EXPECT_FALSE(std::filesystem::exists(dir + "/two.MPG"));
  EXPECT_TRUE(fennick_test::folder_files(settings.temp_parent).empty());
  EXPECT_FALSE(engine.Running());
}

TEST(FennickEngine, CompletedRunAsksForPowerOffAndRefusesBadRows) {
  const std::string dir = fresh_folder("engine_done");
  Recorder rec;
  int powered_off = 0;
  fennick::JobEngine engine(&rec, [&] { return ++powered_off > 0; });
  fennick::JobSettings settings;
  settings.original_size = false;
  settings.width = 176;
  settings.height = 144;
  settings.shutdown_when_done = true;
  const std::string src = media_path("fen_gradient.vob");
  const std::vector<fennick::JobRow> rows = {{src, dir + "/a.MPG", {}},
                                             {src, dir + "/a.MPG", {}},  // an earlier row's output
                                             {src, src, {}}};            // its own input
  fennick::RunSummary summary;
  ASSERT_TRUE(engine.RunJobs(settings, rows, &summary));
  ASSERT_EQ(summary.rows.size(), 3u);
  EXPECT_EQ(summary.rows[0].outcome, fennick::RowOutcome::kSuccess) << summary.rows[0].reason;
  EXPECT_EQ(summary.rows[0].frame_rate_code, 3);
  EXPECT_EQ(summary.rows[1].outcome, fennick::RowOutcome::kFailure);
  EXPECT_NE(summary.rows[1].reason.find("row 1's output"), std::string::npos) << summary.rows[1].reason;
  EXPECT_EQ(summary.rows[2].outcome, fennick::RowOutcome::kFailure);
  EXPECT_EQ(summary.failed, 2);
  EXPECT_TRUE(saw(rec, "Success to output!"));
  EXPECT_TRUE(saw(rec, "Failure to output!"));
  EXPECT_TRUE(summary.shutdown_pending);
  EXPECT_TRUE(rec.asked_shutdown);
  EXPECT_EQ(powered_off, 1);
  const auto streams = encoder_test::probe_streams(dir + "/a.MPG");
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("width"), "176");
}

}  // namespace
