#include "cli/cli_record.h"

#include "carve/engine/sink.h"
#include "export/member_files.h"
#include "output/dfxml_report.h"
#include "platform/image_input.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/output_target.h"

namespace {

using Values = std::span<const std::string>;

// clang-format off
constexpr CliOptionRow kRecordOptions[] = {
  {0, "--hash", "LIST",
   "digests of every output, computed as it is written: md5, sha1, sha256, separated by "
   "commas (in the JSON Lines and the report)", true,
   [](CliOptions& o, Values v, std::string& error) { return ParseHashList(v[0], o.hashes, error); }},
  {0, "--report", "FILE",
   "write a DFXML report of the run to FILE (a new file: never replaces one): every input, and "
   "every output with the range of its input and its digests", true,
   [](CliOptions& o, Values v, std::string& error) {
     o.report = v[0];
     if (o.report.empty()) error = "option --report needs a file name";
     return !o.report.empty();
   }},
};
// clang-format on

}  // namespace

std::span<const CliOptionRow> RecordOptionRows() { return kRecordOptions; }

std::string ReportProblem(const CliOptions& options, Env& env, bool& usage) {
  usage = options.dryRun;
  if (options.report.empty()) return {};
  if (usage) return "--report is not for --dry-run, which writes no output";
  const OutputTarget target = OutputTarget::Look(options.report, env);
  if (target.exists)
    return "the report " + options.report + " exists already; it is never replaced";
  return {};
}

void RecordInput(DfxmlReport& report, const std::string& input, bool images, Env& env) {
  if (report.hasSource(input)) return;
  int64_t size = 0;
  std::vector<std::string> segments{input};
  try {
    InputFile file = OpenInput(input, images, env);
    size = file.size();
    segments = file.segments();
    file.closeQuietly();
  } catch (const IoError&) {
    // An input that cannot be read is named all the same, without a size.
    size = 0;
  }
  report.addSource(segments, size);
}

void RecordStream(DfxmlReport& report, const StreamReport& s,
                  const std::vector<MemberOutcome>& members) {
  ReportFile file;
  file.name = s.output;
  if (s.status == StreamReport::Status::Failed) {
    file.note = "failed: " + (s.output.empty() ? s.input : s.output) + ": " + s.error;
    file.written = false;
    report.addFile(std::move(file));
    return;
  }
  if (s.status != StreamReport::Status::Written) return;
  file.size = s.outputLength + s.appendedBytes;
  file.imageOffset = s.outputOffset;
  file.length = s.outputLength;
  file.digests = s.digests;
  if (s.truncated) file.note = "truncated: the stream claims more bytes than its output holds";
  report.addFile(std::move(file));
  for (const MemberOutcome& m : members) {
    if (m.output.empty()) continue;
    // Raw codec data is written after the header that makes it playable.
    const int64_t header = std::ssize(HeaderOf(m.shape, m.member.length));
    ReportFile member;
    member.name = m.output;
    member.size = header + m.member.length;
    member.fileOffset = header;
    member.imageOffset = s.offset + m.member.offset;
    member.length = m.member.length;
    member.digests = m.digests;
    report.addFile(std::move(member));
  }
}
