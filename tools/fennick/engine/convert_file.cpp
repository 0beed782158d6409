#include "tools/fennick/engine/convert_file.h"

#include <algorithm>
#include <thread>

#include "components/weavix/weavix.h"
#include "media/media_api.h"
#include "tools/common/frame_rate.h"
#include "tools/fennick/engine/encode_run.h"
#include "tools/fennick/engine/job_engine.h"
#include "tools/fennick/engine/strings.h"
#include "tools/fennick/engine/wide_header.h"
#include "video/video_api.h"

namespace fennick {

namespace {

constexpr int32_t kVcdWidth = 352;
constexpr int32_t kVcdHeightPal = 288;
constexpr int32_t kVcdHeightNtsc = 240;
constexpr int32_t kVcdLayer = 2;
constexpr int32_t kVcdAudioKbps = 224;
// Subpicture numbers 0..31 (stream ids 0x20..0x3F name the same ones).
constexpr int32_t kSubpictureNumberMask = 31;

void status(JobObserver *observer, int32_t id, std::vector<std::string> args, std::string reason = {}) {
  if (observer) observer->OnStatus(StatusMessage{id, std::move(args), std::move(reason)});
}

RowResult failed(RowResult r, std::string reason, JobObserver *observer) {
  r.outcome = RowOutcome::kFailure;
  r.reason = std::move(reason);
  r.output.clear();
  status(observer, kStrFailure, {}, r.reason);
  return r;
}

// Video CD pictures: 352 wide, 288 lines for PAL sources, else 240.
int32_t vcd_height(int32_t source_height) {
  return source_height == 288 || source_height == 576 ? kVcdHeightPal : kVcdHeightNtsc;
}

}  // namespace

bool subpicture_burn_in_available() { return true; }

RowResult ConvertFile(const JobSettings &settings, const JobRow &row, int32_t index, const TempFolder &temp,
                      const std::atomic<int32_t> &stop, JobObserver *observer) {
  RowResult r;
  r.row = index;
  status(observer, kStrOutputFromTo, {row.input, row.output});
  ShownPicture shown;
  const KestrumHostDisplay display = silent_display(&shown);
  VideoClose(1);
  int32_t length = 0;
  const SourceKind kind = SysProbe(row.input.c_str(), &length);
  if (kind != SOURCE_KIND_SYSTEM && kind != SOURCE_KIND_VIDEO)
    return failed(r, "cannot open " + row.input + ": not an MPEG system or video stream", observer);
  const bool wide = header_says_wide(row.input);
  if (!VideoOpen(&display, row.input.c_str(), nullptr, 0))
    return failed(r, "cannot open " + row.input + " as MPEG video", observer);
  struct Closer {
    ~Closer() {
      VideoClose(1);
      VideoCommand(VCMD_MIX_SUBPICTURE, 0);
    }
  } closer;
  if (VideoCommand(VCMD_IS_PLAYING, 0)) VideoCommand(VCMD_STOP, 0);
  if (row.streams.audio_id >= 0) SysControl(CTL_AUDIO_SELECT, row.streams.audio_id);
  if (row.streams.angle > 0) SysControl(CTL_ANGLE_SELECT, row.streams.angle);
  // A Video CD has no subtitle stream: a chosen subpicture is drawn into
  // the pictures as it shows at each picture's time.
  if (row.streams.subpicture_id >= 0) {
    SysControl(CTL_SPU_SELECT, row.streams.subpicture_id & kSubpictureNumberMask);
    SysControl(CTL_SPU_ENABLE, 1);
    VideoCommand(VCMD_MIX_SUBPICTURE, 1);
  } else {
    VideoCommand(VCMD_MIX_SUBPICTURE, 0);
  }

  int32_t height = 0;
  const auto width =
      static_cast<int32_t>(VideoCommand(VCMD_SEQUENCE_SIZE, reinterpret_cast<intptr_t>(&height)));
  const auto source_code = static_cast<int32_t>(VideoCommand(VCMD_FRAME_RATE_CODE, 0));
  if (width <= 0 || height <= 0)
    return failed(r, "cannot open " + row.input + ": no MPEG video found", observer);
  if (!tools_common::usable_frame_rate_code(source_code))
    return failed(r, "the source's frame rate code " + std::to_string(source_code) + " is not one of 1..8",
                  observer);
  const tools_common::FrameRate source_rate = tools_common::frame_rate(source_code);

  EncodeJob job;
  job.video_temp = temp.file("video.m1v");
  job.audio_temp = temp.file("audio.mp2");
  if (settings.range_mode && settings.range_start < settings.range_end) {
    job.start_percent = std::clamp(settings.range_start, 0, 100);
    job.end_percent = std::clamp(settings.range_end, 0, 100);
    job.range = true;
  }
  job.row = index;
  job.source_width = width;
  job.source_height = height;
  job.video_cd = settings.video_cd;
  if (settings.video_cd) {
    job.out_width = kVcdWidth;
    job.out_height = vcd_height(height);
  } else if (settings.original_size) {
    job.out_width = width;
    job.out_height = height;
  } else {
    job.out_width = settings.width;
    job.out_height = settings.height;
  }
  job.source_rate = source_rate;
  job.frame_rate_code =
      tools_common::choose_frame_rate_code(source_rate.fps(), settings.frame_rate_code, settings.video_cd);
  job.layer = settings.video_cd ? kVcdLayer : settings.layer;
  job.audio_kbps = settings.video_cd ? kVcdAudioKbps : settings.audio_kbps;
  job.processing = settings.processing;
  job.smooth_zoom = settings.smooth_zoom;
  job.shown = &shown;
  job.wide = wide || VideoCommand(VCMD_IS_WIDE, 0) == 1;
  job.stop = &stop;
  job.observer = observer;
  r.frame_rate_code = job.frame_rate_code;

  EncodeResult result;
  std::thread encoder([&] { result = EncodeRun(job); });
  encoder.join();
  r.pictures = result.pictures;
  if (!result.ok) {
    temp.empty();
    return failed(r, result.reason, observer);
  }
  if (observer) observer->OnProgress(100);
  const bool muxed = WeavixMultiplex(job.video_temp.c_str(), job.audio_temp.c_str(), row.output.c_str()) == 1;
  temp.empty();
  if (!muxed) return failed(r, "the multiplexer could not write " + row.output, observer);
  r.output = row.output;
  r.reason = result.note;
  if (row.streams.subpicture_id >= 0 && !subpicture_burn_in_available())
    r.reason += (r.reason.empty() ? "" : "; ") +
                std::string("the subpicture was not drawn: not available in this build");
  r.outcome = result.stopped ? RowOutcome::kStopped : RowOutcome::kSuccess;
  status(observer, result.stopped ? kStrNotFinished : kStrSuccess, {}, result.note);
  if (observer) observer->OnProgress(0);
  return r;
}

}  // namespace fennick
