#include "app/wav_exporter.h"

#include <QTemporaryDir>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <mutex>

#include "app/text_conv.h"
#include "export/decode_check.h"
#include "export/member_files.h"
#include "export/wav_export.h"
#include "platform/env.h"
#include "platform/folders.h"
#include "platform/translate.h"

namespace {

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Decodes one item into `wav`; the failure, in the source language of
// context "PcmDecode", or nothing.
std::string ExportOne(const WavExportItem& item, const std::string& wav,
                      const std::atomic<bool>* stop) {
  const StreamReport& r = item.report;
  if (r.status != StreamReport::Status::Written || r.output.empty())
    return ZT("PcmDecode", "出力ファイルがありません");
  // Asked before decoding: a file there stays as it is, and the decoding
  // would be for nothing.
  if (FileExists(wav) || DirectoryExists(wav))
    return ZT("PcmDecode", "同じ名前のファイルがあります");
  if (item.member < 0) return DecodeToWav(r.output, r.format, wav, Env::System(), stop).error;
  const Member& m = r.members[static_cast<size_t>(item.member)];
  const MemberShape shape = ShapeOfMember(m);
  // Encrypted, or codec data FFmpeg cannot open alone: said as --decode says it.
  if (std::string why = WhyMemberNotDecoded(m, shape); !why.empty()) return why;
  const QTemporaryDir dir;
  if (!dir.isValid()) return FromQ(dir.errorString());
  const std::string file = FromQ(dir.path()) + "/" + MemberFileName(m, shape);
  const std::string error = WriteMember(r, m, file, Env::System());
  if (!error.empty()) return error;
  return DecodeToWav(file, shape.extension, wav, Env::System(), stop).error;
}

}  // namespace

std::string WavNameOf(const WavExportItem& item) {
  const std::string name = FileNameOf(item.report.output);
  if (item.member < 0) return name + ".wav";
  const Member& m = item.report.members[static_cast<size_t>(item.member)];
  const size_t dot = name.find_last_of('.');
  const std::string bank = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  MemberShape wave;
  wave.extension = "wav";
  return bank + "_" + MemberFileName(m, wave);
}

// What an export on the pool shares with its exporter: the flag that stops
// it, and the exporter to tell while it is still there.
struct WavExporter::Job {
  std::atomic<bool> stop{false};
  std::mutex mutex;
  WavExporter* owner = nullptr;  // null once the exporter has let go

  // Calls `call` on the exporter's thread, if it is still there then.
  void post(const std::shared_ptr<Job>& self, std::function<void(WavExporter*)> call);
};

void WavExporter::Job::post(const std::shared_ptr<Job>& self,
                            std::function<void(WavExporter*)> call) {
  const std::lock_guard<std::mutex> lock(mutex);
  if (owner == nullptr) return;
  WavExporter* to = owner;
  QMetaObject::invokeMethod(
      to,
      [to, self, call] {
        if (to->job_ == self) call(to);
      },
      Qt::QueuedConnection);
}

WavExporter::~WavExporter() {
  if (!job_) return;
  job_->stop = true;
  const std::lock_guard<std::mutex> lock(job_->mutex);
  job_->owner = nullptr;
}

void WavExporter::cancel() {
  if (job_) job_->stop = true;
}

void WavExporter::start(std::vector<WavExportItem> items, const std::string& folder) {
  if (job_) return;
  job_ = std::make_shared<Job>();
  job_->owner = this;
  QThreadPool::globalInstance()->start([job = job_, items = std::move(items), folder] {
    std::vector<std::pair<std::string, std::string>> failures;  // name, reason
    const int all = static_cast<int>(items.size());
    for (int i = 0; i < all && !job->stop; ++i) {
      const std::string name = WavNameOf(items[static_cast<size_t>(i)]);
      const std::string reason =
          ExportOne(items[static_cast<size_t>(i)], folder + "/" + name, &job->stop);
      if (!reason.empty() && !job->stop) failures.emplace_back(name, reason);
      job->post(job, [i, all](WavExporter* to) { emit to->progressed(i + 1, all); });
    }
    job->post(job, [failures, cancelled = job->stop.load()](WavExporter* to) {
      QStringList lines;
      for (const auto& [name, reason] : failures)
        lines << ToQ(name) + QStringLiteral(": ") + ToQ(Tr("PcmDecode", reason).shown());
      to->job_.reset();
      emit to->finished(lines, cancelled);
    });
  });
}
