#include "carve/engine/progress_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/translate.h"

void ProgressMeter::beginRun() {
  runStart_ = inputStart_ = clock_();
  cancelled_ = walked_ = finished_ = false;
  input_.clear();
  job_ = {};
}

void ProgressMeter::beginInput(const std::string& input) {
  input_ = input;
  inputStart_ = clock_();
  walked_ = false;
}

void ProgressMeter::walkedTo(int64_t offset, int64_t start, int64_t end) {
  offset_ = offset;
  start_ = start;
  end_ = end;
  walked_ = true;
}

double ProgressMeter::inputShare() const {
  if (!walked_ || end_ <= start_) return 0;
  return std::clamp(static_cast<double>(offset_ - start_) / static_cast<double>(end_ - start_), 0.0,
                    1.0);
}

double ProgressMeter::runBytesWalked() const {
  return static_cast<double>(job_.bytesBefore) + inputShare() * static_cast<double>(job_.bytes);
}

double ProgressMeter::bytesPerSecond() const {
  if (wholeRun()) {
    const int64_t ms = clock_() - runStart_;
    return ms <= 0 ? -1 : runBytesWalked() * 1000.0 / static_cast<double>(ms);
  }
  const int64_t ms = clock_() - inputStart_;
  if (!walked_ || ms <= 0) return -1;
  return static_cast<double>(std::max<int64_t>(offset_ - start_, 0)) * 1000.0 /
         static_cast<double>(ms);
}

int64_t ProgressMeter::remainingMs() const {
  const double rate = bytesPerSecond();
  if (rate <= 0) return -1;
  if (wholeRun()) {
    const double left = std::max(static_cast<double>(job_.totalBytes) - runBytesWalked(), 0.0);
    return static_cast<int64_t>(std::ceil(left * 1000.0 / rate));
  }
  const double left = static_cast<double>(std::max<int64_t>(end_ - offset_, 0));
  return static_cast<int64_t>(std::ceil(left * 1000.0 / rate));
}

int ProgressMeter::percent() const {
  if (wholeRun()) {
    const double share = runBytesWalked() * 100.0 / static_cast<double>(job_.totalBytes);
    return static_cast<int>(std::clamp(std::nearbyint(share), 0.0, 100.0));
  }
  if (!walked_ || end_ <= start_) return 0;
  const double share =
      static_cast<double>(offset_ - start_) * 100.0 / static_cast<double>(end_ - start_);
  return static_cast<int>(std::clamp(std::nearbyint(share), 0.0, 100.0));
}

std::string ProgressMeter::text() const {
  //: %1 the time since the run began, m:ss.
  if (cancelled_)
    return Tr("progress", "キャンセルしました  経過 %1").arg(DurationText(elapsedMs())).shown();
  //: %1 percent, %2 the rate (12.3MB/s), %3 the time since the run began.
  std::string text = Tr("progress", "%1%  %2  経過 %3")
                         .arg(percent())
                         .arg(RateText(bytesPerSecond()))
                         .arg(DurationText(elapsedMs()))
                         .shown();
  //: %1 the time the input still needs, m:ss.
  if (!finished_) text += Tr("progress", "  残り %1").arg(DurationText(remainingMs())).shown();
  //: %1 the input now read, %2 the inputs of the run.
  if (wholeRun()) text += Tr("progress", "  %1/%2個目").arg(job_.index).arg(job_.count).shown();
  return text;
}

std::string DurationText(int64_t ms) {
  if (ms < 0) return "--:--";
  const int64_t seconds = ms / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

std::string RateText(double bytesPerSecond) {
  if (bytesPerSecond < 0) return "--.-MB/s";
  char text[32];
  std::snprintf(text, sizeof text, "%.1fMB/s", bytesPerSecond / 1e6);
  return text;
}
