#include "carve/engine/producer.h"

#include <algorithm>
#include <optional>

#include "carve/engine/host.h"
#include "carve/engine/input_view.h"
#include "carve/engine/run_state.h"
#include "carve/engine/scan_pass.h"
#include "output/digests.h"
#include "output/naming.h"
#include "platform/folders.h"
#include "platform/io_error.h"
#include "platform/output_file.h"
#include "platform/pacer.h"
#include "platform/translate.h"

namespace {

IoError OutputTakenError(const std::string& name) {
  return IoError(kIoOutputExists, Tr("producer", "出力ファイルが既に存在します(%1)").arg(name));
}

}  // namespace

Env& Producer::env() const { return run_.env(); }

IoError Producer::inputShrank() const {
  return IoError(kIoInputShrank, "Input file shrank while it was read", input_);
}

Produced Producer::produce(const FormatRow& row, int64_t number, int64_t candidate,
                           const Found& found) {
  const CopySpan span = found.copied();
  StreamReport report;
  try {
    const bool dryRun = run_.options().dryRun;
    const std::string name = freeOutputName(row, found, number, dryRun, report);
    report.output = name;
    report.outputOffset = span.start;
    // One look at the name serves the checks and the output's creation.
    const OutputTarget target = OutputTarget::Look(name, run_.env());
    if (in_.isSameFileAs(target) || run_.isInput(target))
      throw IoError(kIoSameAsInput, Tr("producer", "出力ファイルが入力ファイルと同じです"), name);
    if (run_.refuses(target)) throw OutputTakenError(name);
    // What the input held of the range when the pass began: a copy that
    // gets less lost bytes to an input that shrank under the pass.
    const int64_t held = std::clamp<int64_t>(openSize_ - span.start, 0, span.length);
    if (dryRun) {
      this->dryRun(span, held, report);
    } else {
      write(target, name, span, held, found, report);
    }
    remember(name);
    report.appendedBytes = static_cast<int64_t>(found.appended.size());
    this->report(row, number, found, report);
    // The walk goes on past the range copied, or past the input's end when
    // it ends first; a stream of no bytes moves it on past its candidate,
    // so that the same candidate is not taken again.
    const int64_t next = report.outputLength > 0 ? span.start + report.outputLength : candidate + 1;
    return {Produced::Status::Done, !dryRun, next};
  } catch (const IoError& e) {
    report.status = StreamReport::Status::Failed;
    report.error = e.what();
    report.errorShown = e.shown();
    if (e.code() == kIoCancelled) {
      // The run ends as a cancelled walk does: no box, and the summary.
      this->report(row, number, found, report);
      return {Produced::Status::Ignored, false, span.start + std::max<int64_t>(span.length, 1)};
    }
    // An input that is not what the walk holds any more fails the stream,
    // and the failure of the input ends the pass.
    const bool inputShrank = e.code() == kIoInputShrank;
    if (!inputShrank) host_.AddLog("* " + EscapeControls(e.shown()));
    this->report(row, number, found, report);
    if (inputShrank) throw;
    return fail(e, number, candidate, span);
  }
}

std::string Producer::outputName(const FormatRow& row, const Found& found, int64_t number,
                                 bool dryRun) {
  bool hasDir = false;
  std::string dir = PatternDirectory(pattern_, hasDir);
  if (!dryRun && hasDir && !dir.empty() && !DirectoryExists(dir, run_.env()))
    CreateDir(dir, run_.env());
  // "%o", the stream's offset: the newer formats' naming and `all`'s.
  const bool offsets = row.name == NameWithExtension || run_.options().offsetNames;
  return row.name(offsets ? ExpandOffset(pattern_, found.span.start) : pattern_,
                  ExtractBaseName(run_.namingInput(input_)), number,
                  found.extension.empty() ? std::string(row.extension) : found.extension);
}

std::string Producer::freeOutputName(const FormatRow& row, const Found& found, int64_t number,
                                     bool dryRun, StreamReport& report) {
  const std::string asked = outputName(row, found, number, dryRun);
  RunOutputs& outputs = run_.outputs();
  if (!run_.keepsOutputs() || !outputs.wrote(asked)) return asked;
  std::string name = outputs.freeName(asked);
  report.renamedFrom = asked;
  //: %1 the name the pattern gave, %2 the free name taken instead.
  host_.AddLog(Tr("producer", "出力ファイル名を変更しました(%1 → %2)")
                   .arg(EscapeControls(asked))
                   .arg(EscapeControls(name))
                   .shown());
  return name;
}

void Producer::remember(const std::string& name) {
  if (run_.keepsOutputs()) run_.outputs().add(name);
}

void Producer::dryRun(const CopySpan& span, int64_t held, StreamReport& report) {
  // What the copy would copy: the range, or as much of it as the input
  // holds.
  report.outputLength = std::clamp<int64_t>(in_.size() - span.start, 0, span.length);
  if (report.outputLength < held) throw inputShrank();
  report.status = StreamReport::Status::DryRun;
}

void Producer::write(const OutputTarget& target, const std::string& name, const CopySpan& span,
                     int64_t held, const Found& found, StreamReport& report) {
  // The stream appears under its name only once it is whole; a failure
  // below leaves the name as it was.
  // A free name beside one the run wrote is never made to replace a file
  // that took it meanwhile.
  const OutputMode mode = run_.options().keepExisting || !report.renamedFrom.empty()
                              ? OutputMode::Keep
                              : OutputMode::Replace;
  OutputFile out;
  std::optional<OutputDigests> digests;
  try {
    out = OutputFile::CreateOutput(target, mode, run_.env());
    if (run_.options().hashes != 0) out.setTap(&digests.emplace(run_.options().hashes));
    // The pump turns during a long copy, and a cancel stops it.
    report.outputLength = in_.copyTo(out, span.start, span.length, [this] {
      if (pacer_.due(pacer_.quietSteps() + 1)) host_.ProcessEvents();
      if (!host_.Running()) throw IoError(kIoCancelled, Tr("progress", "キャンセルしました"));
    });
    // Bytes copied from what the walk held of an input that has since lost
    // them are no more the input's than bytes never copied.
    if (report.outputLength < held || in_.size() < span.start + report.outputLength)
      throw inputShrank();
    if (!found.appended.empty())
      out.write(found.appended.data(), static_cast<int64_t>(found.appended.size()));
    // Committing flushes the output; a full disk shows here and fails this
    // stream rather than passing for success.
    out.commit();
    if (digests) report.digests = digests->finish();
  } catch (const IoError& e) {
    out.discard();
    if (e.code() == kIoOutputExists) throw OutputTakenError(name);
    throw;
  }
}

Produced Producer::fail(const IoError& e, int64_t number, int64_t candidate, const CopySpan& span) {
  const std::string text =
      EscapeControls(e.shown()) + "\n" +
      Tr("producer", "%1番目のファイルの処理中にエラーが起こりました").arg(number).shown();
  const BoxAnswer answer =
      host_.Failure({text, e.path(), e.code(), BoxType::Error, BoxButtons::AbortIgnore, false});
  // Abort, or the box closed without a button.
  if (answer != BoxAnswer::Ignore) return {Produced::Status::Aborted, false, 0};
  const int64_t next = span.length > 0 ? span.start + span.length : candidate + 1;
  return {Produced::Status::Ignored, false, next};
}

void Producer::report(const FormatRow& row, int64_t number, const Found& found,
                      StreamReport& report) {
  report.input = input_;
  report.format = row.kind;
  report.number = number;
  report.offset = found.span.start;
  report.length = found.span.length;
  report.facts = found.facts;
  report.truncated = found.truncated;
  report.members = found.members;
  host_.StreamDone(report);
}

std::string PatternDirectory(const std::string& pattern, bool& found) {
  auto slash = pattern.find_last_of('/');
  found = slash != std::string::npos;
  if (!found) return std::string();
  std::string dir = pattern.substr(0, slash);
  // A directory part whose every '%' is doubled is plain text (the default
  // pattern below a folder with '%' in its name): it names the directory
  // the outputs go to. Any other is taken as typed.
  std::string plain;
  for (size_t i = 0; i < dir.size(); ++i) {
    if (dir[i] == '%') {
      if (i + 1 >= dir.size() || dir[i + 1] != '%') return dir;
      ++i;
    }
    plain += dir[i];
  }
  return plain;
}
