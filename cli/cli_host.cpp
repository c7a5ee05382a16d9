#include "cli/cli_host.h"

#include <filesystem>
#include <optional>
#include <utility>

#include "cli/cli_json.h"
#include "cli/cli_printers.h"
#include "cli/cli_record.h"
#include "export/member_files.h"
#include "export/wav_export.h"
#include "output/naming.h"
#include "platform/io_error.h"
#include "platform/pending_output.h"
#include "platform/translate.h"

namespace {

// A progress line must fit on one terminal line, or the carriage return
// cannot take it back.
constexpr size_t kMaxProgressBytes = 72;

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

// The last bytes of UTF-8 text, at most `limit` of them with "..." first
// when it is longer, without splitting a character.
std::string CutUtf8Front(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  if (limit <= 3) return "";
  size_t cut = text.size() - (limit - 3);
  while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) ++cut;
  return "..." + text.substr(cut);
}

}  // namespace

void ProgressLine::show(const std::string& text) {
  if (!enabled_) return;
  std::string line = CutUtf8(text, kMaxProgressBytes);
  err_ << '\r' << line;
  if (line.size() < shownLength_) {
    err_ << std::string(shownLength_ - line.size(), ' ') << '\r' << line;
  }
  err_.flush();
  shownLength_ = line.size();
}

void ProgressLine::clear() {
  if (shownLength_ == 0) return;
  err_ << '\r' << std::string(shownLength_, ' ') << '\r';
  err_.flush();
  shownLength_ = 0;
}

CliHost::CliHost(const CliOptions& options, std::ostream& out, std::ostream& err,
                 ProgressLine& progress, std::function<bool(const std::string&)> ask,
                 SteadyClock clock)
    : options_(options),
      out_(out),
      err_(err),
      progress_(progress),
      ask_(std::move(ask)),
      meter_(std::move(clock)) {
  if (options.json) {
    printer_ = std::make_unique<JsonPrinter>(out, progress);
  } else if (options.quiet) {
    printer_ = std::make_unique<QuietPrinter>();
  } else {
    printer_ = std::make_unique<LogPrinter>(out, progress);
  }
}

bool CliHost::InputBegins(const std::string& input) {
  if (inputCheck_ && !inputCheck_(input)) return false;
  meter_.beginInput(input);
  return true;
}

bool CliHost::Running() { return !InterruptAsked(); }

void CliHost::AddLog(const std::string& line) { printer_->AddLog(line); }

void CliHost::PassReported(const PassReport& report) {
  printer_->PassReported(report);
  if (record_ != nullptr && report.stage == PassReport::Stage::Begin)
    RecordInput(*record_, report.input, Images(), *files_);
}

void CliHost::StreamDone(const StreamReport& report) {
  std::optional<WavExport> decoded;
  if (options_.decode && report.status == StreamReport::Status::Written)
    decoded = DecodeToWav(report.output, report.format, report.output + ".wav", *files_);
  if (options_.json) {
    progress_.clear();
    out_ << StreamJsonLine(report, decoded ? &*decoded : nullptr) << std::endl;
  } else {
    printer_->StreamDone(report);
  }
  if (decoded) DecodeLogged(report.output, *decoded);
  std::vector<MemberOutcome> members;
  if (options_.members && !report.members.empty())
    members = WriteMembers(report, *files_, options_.hashes);
  if (record_ != nullptr) RecordStream(*record_, report, members);
  MembersDone(report, members);
}

void CliHost::MembersDone(const StreamReport& report, const std::vector<MemberOutcome>& members) {
  for (const MemberOutcome& o : members) {
    progress_.clear();
    std::optional<WavExport> decoded;
    if (options_.decode && !o.output.empty()) decoded = DecodeMemberToWav(o, *files_);
    if (options_.json) {
      out_ << MemberJsonLine(report, o, decoded ? &*decoded : nullptr) << std::endl;
    } else if (!options_.quiet && !o.output.empty()) {
      out_ << "  " << EscapeControls(o.output) << std::endl;
    }
    if (decoded) DecodeLogged(o.output, *decoded);
    if (o.error.empty()) continue;
    failureReported_ = true;
    err_ << "zandrel-cli: " << EscapeControls(report.output) << ": member " << o.member.index
         << ": " << EscapeControls(o.error) << std::endl;
  }
}

void CliHost::DecodeLogged(const std::string& output, const WavExport& decoded) {
  if (options_.json || options_.quiet) return;
  progress_.clear();
  if (!decoded.output.empty())
    out_ << "  " << EscapeControls(decoded.output) << std::endl;
  else
    out_ << "  " << EscapeControls(output) << ": " << EscapeControls(decoded.errorShown)
         << std::endl;
}

void CliHost::FolderUnreadable(const IoError& error) {
  failureReported_ = true;
  if (options_.json) out_ << ErrorJsonLine(error.path(), error.what()) << std::endl;
  err_ << "zandrel-cli: ";
  if (!error.path().empty()) err_ << EscapeControls(error.path()) << ": ";
  err_ << EscapeControls(error.shown()) << std::endl;
}

void CliHost::TagIniUnreadable(const std::string& path, const std::string& problem) {
  err_ << "zandrel-cli: warning: cannot read the tag INI file " << path << ": " << problem
       << "; no stream gets a tag from it" << std::endl;
}

void CliHost::RunBegins() {
  meter_.beginRun();
  if (progress_.enabled())
    SetSignalNote("\r" + std::string(72, ' ') + "\r" +
                  Tr("progress", "キャンセルしました").shown() + "\n");
}

void CliHost::WalkedTo(int64_t offset, int64_t start, int64_t end) {
  if (!progress_.enabled()) return;
  meter_.walkedTo(offset, start, end);
  const int64_t now = meter_.elapsedMs();
  if (shownAtMs_ >= 0 && now - shownAtMs_ < PumpIntervalMs()) return;
  shownAtMs_ = now;
  // The input's name is cut from its front, so that its end shows.
  const std::string figures = meter_.text() + "  ";
  const size_t room = kMaxProgressBytes > figures.size() ? kMaxProgressBytes - figures.size() : 0;
  progress_.show(figures + CutUtf8Front(EscapeControls(meter_.input()), room));
}

BoxAnswer CliHost::Failure(const FailureQuestion& question) {
  progress_.clear();
  out_.flush();
  if (!question.path.empty()) err_ << EscapeControls(question.path) << ": ";
  err_ << question.text << std::endl;
  switch (question.buttons) {
    case BoxButtons::Ok:
      failureReported_ = true;
      return BoxAnswer::Ok;
    case BoxButtons::AbortIgnore:
      failureReported_ = true;
      return options_.abortOnError ? BoxAnswer::Abort : BoxAnswer::Ignore;
    case BoxButtons::YesNo:
      if (options_.yes) return BoxAnswer::Yes;
      return ask_ && ask_(question.text) ? BoxAnswer::Yes : BoxAnswer::No;
  }
  return BoxAnswer::None;
}
