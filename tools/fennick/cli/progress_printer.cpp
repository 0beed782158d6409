#include "tools/fennick/cli/progress_printer.h"

#include <unistd.h>

#include "tools/fennick/engine/strings.h"

namespace fennick_cli {

namespace {
constexpr auto kRedrawPeriod = std::chrono::milliseconds(200);
}

ProgressPrinter::ProgressPrinter(FILE *out) : out_(out), tty_(isatty(fileno(out)) != 0) {}

void ProgressPrinter::end_line() {
  if (line_open_) std::fputc('\n', out_);
  line_open_ = false;
}

void ProgressPrinter::OnStatus(const fennick::StatusMessage &message) {
  // The line naming both paths is the row header; the rest are results.
  end_line();
  std::fprintf(out_, "fennick: %s\n", fennick::FormatStatus(message).c_str());
  std::fflush(out_);
}

void ProgressPrinter::OnRowStarted(int32_t row, int32_t rows) {
  row_ = row;
  rows_ = rows;
  last_ = {};
  row_start_ = std::chrono::steady_clock::now();
  last_print_ = {};
}

void ProgressPrinter::OnPictures(const fennick::PictureProgress &progress) {
  last_ = progress;
  if (!tty_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_print_ < kRedrawPeriod) return;
  last_print_ = now;
  const double wall = std::chrono::duration<double>(now - row_start_).count();
  const double speed = wall > 0 ? progress.source_seconds / wall : 0;
  std::fprintf(out_, "\rrow %d/%d  %3d%%  %lld pictures  %.2fx   ", row_ + 1, rows_, progress.percent,
               static_cast<long long>(progress.pictures_out), speed);
  line_open_ = true;
  std::fflush(out_);
}

void ProgressPrinter::OnRowDone(const fennick::RowResult &result) {
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - row_start_).count();
  const double speed = wall > 0 ? last_.source_seconds / wall : 0;
  end_line();
  if (result.outcome == fennick::RowOutcome::kSkipped) {
    std::fprintf(out_, "row %d/%d: %s\n", result.row + 1, rows_, result.reason.c_str());
  } else if (result.outcome != fennick::RowOutcome::kFailure) {
    std::fprintf(out_, "row %d/%d  %3d%%  %lld pictures  %.2fx  %s\n", result.row + 1, rows_, last_.percent,
                 static_cast<long long>(result.pictures), speed, result.output.c_str());
  }
  std::fflush(out_);
}

}  // namespace fennick_cli
