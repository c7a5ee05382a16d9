#include "export/member_files.h"

#include <cstdio>
#include <optional>

#include "carve/engine/sink.h"
#include "export/dsp_stream.h"
#include "export/member_headers.h"
#include "platform/folders.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/output_file.h"

namespace {

// The members that are files by themselves, and their extensions.
constexpr const char* kFiles[][2] = {{"hca", "hca"}, {"adx", "adx"}, {"wem", "wem"},
                                     {"wav", "wav"}, {"bnk", "bnk"}, {"wma", "wma"}};

// The members of PCM a header makes playable.
constexpr struct {
  const char* codec;
  MemberHeader header;
  int bits;
  bool floats;
} kPcm[] = {
    {"pcm16", MemberHeader::Wave, 16, false},
    {"pcm24", MemberHeader::Wave, 24, false},
    {"pcm32", MemberHeader::Wave, 32, false},
    {"pcmfloat", MemberHeader::Wave, 32, true},
    // An FSB's 8-bit PCM is signed, as AIFF's is (a WAVE's is unsigned).
    {"pcm8", MemberHeader::Aiff, 8, false},
    {"pcm16be", MemberHeader::Aiff, 16, false},
    // An XACT bank's 8-bit PCM is unsigned, as a WAVE's is.
    {"pcm8u", MemberHeader::Wave, 8, false},
};

}  // namespace

MemberShape ShapeOfMember(const Member& m) {
  for (const auto& file : kFiles) {
    if (m.codec == file[0]) return {file[1], MemberHeader::None, {}, {}, true, ""};
  }
  if (const char* extension = HeaderedExtension(m))
    return {extension, MemberHeader::Riff, {}, RiffHeaderOf(m), true, ""};
  for (const auto& row : kPcm) {
    if (m.codec != row.codec || m.channels <= 0 || m.rate <= 0) continue;
    const PcmLayout pcm{m.rate, m.channels, row.bits, row.floats, 0};
    return {row.header == MemberHeader::Wave ? "wav" : "aiff", row.header, pcm, {}, true, ""};
  }
  if (BrstmFits(m)) return {"brstm", MemberHeader::Brstm, {}, {}, true, ""};
  if (m.codec == "mpeg") return {"mp3", MemberHeader::None, {}, {}, true, ""};
  return {"raw", MemberHeader::None, {}, {}, false, m.codec + " data without a container"};
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

std::vector<uint8_t> HeaderOf(const MemberShape& shape, int64_t dataBytes) {
  switch (shape.header) {
    case MemberHeader::None:
      break;
    case MemberHeader::Wave:
      return WaveHeaderOf(shape.pcm, dataBytes);
    case MemberHeader::Aiff:
      return AiffHeader(shape.pcm, dataBytes / (shape.pcm.channels * (shape.pcm.bits / 8)));
    case MemberHeader::Riff:
      return shape.riff;
    case MemberHeader::Brstm:
      break;
  }
  return {};
}

namespace {

// Writes member `m` of the bank whose first byte is at `bankAt` of `bank`
// to `path` as an output, its digests of `hashes` into `written`; the
// failure, or nothing.
std::string CopyMember(InputFile& bank, int64_t bankAt, const Member& m, const MemberShape& shape,
                       const std::string& path, Env& env, unsigned hashes = 0,
                       Digests* written = nullptr) {
  OutputFile out;
  std::optional<OutputDigests> digests;
  try {
    out = OutputFile::CreateOutput(path, OutputMode::Keep, env);
    if (hashes != 0) out.setTap(&digests.emplace(hashes));
    bank.seek(bankAt + m.offset);
    if (shape.header == MemberHeader::Brstm) {
      // Its channels are laid out anew: read whole.
      std::vector<uint8_t> data(static_cast<size_t>(m.length));
      if (bank.read(data.data(), m.length) != m.length)
        throw IoError(kIoReadBeyondEnd, "Read beyond end of file", bank.path());
      const auto brstm = BrstmOf(m, data);
      out.write(brstm.data(), std::ssize(brstm));
    } else {
      const auto header = HeaderOf(shape, m.length);
      out.write(header.data(), std::ssize(header));
      if (bank.copyTo(out, m.length) != m.length)
        throw IoError(kIoReadBeyondEnd, "Read beyond end of file", bank.path());
    }
    out.commit();
    if (digests && written != nullptr) *written = digests->finish();
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

std::vector<MemberOutcome> WriteMembers(const StreamReport& report, Env& env, unsigned hashes) {
  std::vector<MemberOutcome> outcomes;
  for (const Member& m : report.members) outcomes.push_back({m, ShapeOfMember(m), "", "", {}});
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
    o.error = CopyMember(bank, BankAt(report), o.member, o.shape, name, env, hashes, &o.digests);
    if (o.error.empty()) o.output = name;
  }
  bank.closeQuietly();
  return outcomes;
}
