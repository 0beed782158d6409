// The command line's observer: a progress line on stderr (rewritten in
// place on a terminal, one line per file otherwise) and the engine's status
// messages.
#pragma once

#include <chrono>
#include <cstdio>

#include "tools/fennick/engine/job_engine.h"

namespace fennick_cli {

class ProgressPrinter : public fennick::JobObserver {
 public:
  explicit ProgressPrinter(FILE *out);
  void OnStatus(const fennick::StatusMessage &message) override;
  void OnRowStarted(int32_t row, int32_t rows) override;
  void OnPictures(const fennick::PictureProgress &progress) override;
  void OnRowDone(const fennick::RowResult &result) override;

 private:
  void end_line();

  FILE *out_;
  bool tty_;
  bool line_open_ = false;
  int32_t row_ = 0;
  int32_t rows_ = 0;
  fennick::PictureProgress last_{};
  std::chrono::steady_clock::time_point row_start_{};
  std::chrono::steady_clock::time_point last_print_{};
};

}  // namespace fennick_cli
