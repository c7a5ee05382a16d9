#include "app/pcm_decoder.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <mutex>

#include "export/decode_check.h"
#include "platform/env.h"

// What a decoding on the pool shares with its decoder: the flag that stops
// it, and the decoder to hand the PCM to while it is still there.
struct PcmDecoder::Job {
  std::atomic<bool> stop{false};
  std::mutex mutex;
  PcmDecoder* owner = nullptr;  // null once the decoder has let go
};

PcmDecoder::~PcmDecoder() { cancel(); }

void PcmDecoder::cancel() {
  if (!job_) return;
  job_->stop = true;
  const std::lock_guard<std::mutex> lock(job_->mutex);
  job_->owner = nullptr;
  job_.reset();
}

void PcmDecoder::start(const std::string& path, const std::string& kind, double maxSeconds,
                       std::function<std::string()> prepare) {
  cancel();
  job_ = std::make_shared<Job>();
  job_->owner = this;
  QThreadPool::globalInstance()->start([job = job_, path, kind, maxSeconds, prepare] {
    DecodedPcm unprepared;
    if (prepare) unprepared.error = prepare();
    // What --decode refuses, refused with its reason before FFmpeg opens it.
    if (unprepared.error.empty()) unprepared.error = WhyNotDecoded(path, kind, Env::System());
    auto pcm = std::make_shared<const DecodedPcm>(
        unprepared.error.empty() ? DecodePcm(path, kind, maxSeconds, &job->stop) : unprepared);
    // Posted under the lock: the decoder cannot go between the look and the
    // post, and a posted call dies with it.
    const std::lock_guard<std::mutex> lock(job->mutex);
    if (job->owner == nullptr) return;
    PcmDecoder* owner = job->owner;
    QMetaObject::invokeMethod(
        owner,
        [owner, job, pcm] {
          if (owner->job_ != job) return;
          owner->job_.reset();
          emit owner->decoded(pcm);
        },
        Qt::QueuedConnection);
  });
}
