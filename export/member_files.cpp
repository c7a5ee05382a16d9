#include "export/member_files.h"

#include <cstdio>

#include "carve/engine/sink.h"
#include "export/pcm_decode.h"
#include "platform/folders.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/output_file.h"

namespace {

// The members that are files by themselves, and their extensions.
constexpr const char* kFiles[][2] = {
    {"hca", "hca"}, {"adx", "adx"}, {"wem", "wem"}, {"wav", "wav"}};

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

MemberShape ShapeOfMember(const Member& m) {
  for (const auto& file : kFiles) {
    if (m.codec == file[0]) return {file[1], false, true, ""};
  }
  if (m.codec == "pcm16" && m.channels > 0 && m.rate > 0) return {"wav", true, true, ""};
  if (m.codec == "mpeg") return {"mp3", false, true, ""};
  return {"raw", false, false, m.codec + " data without a container"};
}

std::string SafeMemberName(const std::string& name) {
  std::string safe;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool dots = c == '.' && i + 1 < name.size() && name[i + 1] == '.';
    safe += c < 0x20 || c == 0x7F || c == '/' || c == '\\' || dots ? '_' : name[i];
  }
  if (safe.size() <= kMostNameBytes) return safe;
  size_t cut = kMostNameBytes;
  while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) --cut;
  return safe.substr(0, cut);
}

std::string MemberFolder(const std::string& bankOutput) {
  const size_t slash = bankOutput.find_last_of('/');
  const size_t dot = bankOutput.find_last_of('.');
  const bool hasExtension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return hasExtension ? bankOutput.substr(0, dot) : bankOutput + ".members";
}

std::string MemberFileName(const Member& m, const MemberShape& shape) {
  char number[24];
  std::snprintf(number, sizeof number, "%03lld", static_cast<long long>(m.index));
  const std::string name = SafeMemberName(m.name);
  return std::string(number) + (name.empty() ? "" : "_" + name) + "." + shape.extension;
}

std::vector<uint8_t> WaveHeader(int64_t rate, int64_t channels, int64_t dataBytes) {
  std::vector<uint8_t> h;
  h.reserve(44);
  auto tag = [&h](const char* t) {
    for (int i = 0; i < 4; ++i) h.push_back(static_cast<uint8_t>(t[i]));
  };
  tag("RIFF");
  PutLe(h, static_cast<uint32_t>(36 + dataBytes), 4);
  tag("WAVE");
  tag("fmt ");
  PutLe(h, 16, 4);
  PutLe(h, 1, 2);
  PutLe(h, static_cast<uint32_t>(channels), 2);
  PutLe(h, static_cast<uint32_t>(rate), 4);
  PutLe(h, static_cast<uint32_t>(rate * channels * 2), 4);
  PutLe(h, static_cast<uint32_t>(channels * 2), 2);
  PutLe(h, 16, 2);
  tag("data");
  PutLe(h, static_cast<uint32_t>(dataBytes), 4);
  return h;
}

namespace {

// Writes member `m` of the bank whose first byte is at `bankAt` of `bank`
// to `path` as an output; the failure, or nothing.
std::string CopyMember(InputFile& bank, int64_t bankAt, const Member& m, const MemberShape& shape,
                       const std::string& path, Env& env) {
  OutputFile out;
  try {
    out = OutputFile::CreateOutput(path, OutputMode::Keep, env);
    if (shape.wave) {
      const auto header = WaveHeader(m.rate, m.channels, m.length);
      out.write(header.data(), std::ssize(header));
    }
    bank.seek(bankAt + m.offset);
    if (bank.copyTo(out, m.length) != m.length)
      throw IoError(kIoReadBeyondEnd, "Read beyond end of file", bank.path());
    out.commit();
    return {};
  } catch (const IoError& e) {
    out.discard();
    return std::string(e.what()) + (e.path().empty() ? "" : ": " + e.path());
  }
}

// The bank's first byte in its output (the output may begin before it).
int64_t BankAt(const StreamReport& report) { return report.offset - report.outputOffset; }

}  // namespace

std::string WriteMember(const StreamReport& report, const Member& member, const std::string& path,
                        Env& env) {
  if (report.status != StreamReport::Status::Written || report.output.empty())
    return "The bank has no output";
  InputFile bank;
  try {
    bank = InputFile::OpenRead(report.output, env);
  } catch (const IoError& e) {
    return std::string(e.what()) + (e.path().empty() ? "" : ": " + e.path());
  }
  std::string error = CopyMember(bank, BankAt(report), member, ShapeOfMember(member), path, env);
  bank.closeQuietly();
  return error;
}

std::vector<MemberOutcome> WriteMembers(const StreamReport& report, Env& env) {
  std::vector<MemberOutcome> outcomes;
  for (const Member& m : report.members) outcomes.push_back({m, ShapeOfMember(m), "", ""});
  if (report.status != StreamReport::Status::Written || outcomes.empty()) return outcomes;
  const std::string folder = MemberFolder(report.output);
  InputFile bank;
  try {
    bank = InputFile::OpenRead(report.output, env);
    if (!DirectoryExists(folder, env)) CreateDir(folder, env);
  } catch (const IoError& e) {
    for (MemberOutcome& o : outcomes) o.error = e.what();
    return outcomes;
  }
  for (MemberOutcome& o : outcomes) {
    const std::string name = folder + "/" + MemberFileName(o.member, o.shape);
    o.error = CopyMember(bank, BankAt(report), o.member, o.shape, name, env);
    if (o.error.empty()) o.output = name;
  }
  bank.closeQuietly();
  return outcomes;
}

std::string DecodeKindOfMember(const MemberShape& shape) {
  // A WEM of PCM is a RIFF (RIFX) WAVE the WAVE demuxer reads.
  if (shape.extension == "wem" && DemuxerOfKind("wem") == nullptr) return "wav";
  return shape.extension;
}
