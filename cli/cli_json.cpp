#include "cli/cli_json.h"

#include <nlohmann/json.hpp>

#include "export/member_files.h"
#include "export/wav_export.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    text += kDigits[group >> 18 & 63];
    text += kDigits[group >> 12 & 63];
    text += i + 1 < bytes.size() ? kDigits[group >> 6 & 63] : '=';
    text += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return text;
}

// A byte string as a JSON string when it is valid UTF-8 (the writer refuses
// anything else), otherwise as {"bytes": its Base64}.
Json Text(const std::string& bytes) {
  Json text = bytes;
  try {
    (void)text.dump();
    return text;
  } catch (const Json::type_error&) {
    return Json{{"bytes", Base64(bytes)}};
  }
}

// Numbers a format does not measure are negative and left out.
void PutMeasured(Json& object, const char* key, double value) {
  if (value >= 0) object[key] = value;
}
void PutMeasured(Json& object, const char* key, int64_t value) {
  if (value >= 0) object[key] = value;
}

void PutDecoded(Json& line, const WavExport* decoded) {
  if (decoded == nullptr) return;
  if (!decoded->output.empty()) line["decoded"] = Text(decoded->output);
  if (!decoded->error.empty()) line["decode_error"] = Text(decoded->error);
}

// The digests of --hash, in lower-case hex.
void PutDigests(Json& object, const Digests& digests) {
  for (size_t i = 0; i < kHashNames.size(); ++i) {
    if (!digests[i].empty()) object[std::string(kHashNames[i])] = digests[i];
  }
}

}  // namespace

std::string PassJsonLine(const PassReport& report) {
  Json line;
  switch (report.stage) {
    case PassReport::Stage::Begin:
      line = {{"type", "begin"}, {"input", Text(report.input)}, {"format", report.format}};
      break;
    case PassReport::Stage::End:
      line = {{"type", "end"},
              {"input", Text(report.input)},
              {"format", report.format},
              {"found", report.found},
              {"written", report.written}};
      if (report.cancelled) {
        line["cancelled"] = true;
        line["offset"] = report.offset;
      }
      break;
    case PassReport::Stage::Error:
      return ErrorJsonLine(report.input, report.error);
  }
  return line.dump();
}

std::string StreamJsonLine(const StreamReport& report, const WavExport* decoded) {
  Json line = {{"type", "stream"},        {"input", Text(report.input)}, {"format", report.format},
               {"number", report.number}, {"offset", report.offset},     {"length", report.length}};
  if (!report.output.empty()) line["output"] = Text(report.output);
  if (!report.renamedFrom.empty()) line["renamed_from"] = Text(report.renamedFrom);
  if (report.status != StreamReport::Status::Failed) {
    line["output_offset"] = report.outputOffset;
    line["output_length"] = report.outputLength;
  }
  if (report.appendedBytes > 0) line["appended_tag"] = report.appendedBytes;
  PutMeasured(line, "frames", report.facts.frames);
  PutMeasured(line, "bitrate_kbps", report.facts.bitrateKbps);
  PutMeasured(line, "sample_rate_hz", report.facts.sampleRateHz);
  PutMeasured(line, "seconds", report.facts.seconds);
  PutMeasured(line, "channels", report.facts.channels);
  if (report.truncated) line["truncated"] = true;
  PutDigests(line, report.digests);
  switch (report.status) {
    case StreamReport::Status::Written:
      line["status"] = "written";
      break;
    case StreamReport::Status::DryRun:
      line["status"] = "dry-run";
      break;
    case StreamReport::Status::Failed:
      line["status"] = "failed";
      line["error"] = Text(report.error);
      break;
  }
  PutDecoded(line, decoded);
  return line.dump();
}

std::string MemberJsonLine(const StreamReport& bank, const MemberOutcome& o,
                           const WavExport* decoded) {
  const Member& m = o.member;
  Json line = {{"type", "member"},      {"input", Text(bank.input)},
               {"format", bank.format}, {"parent", Text(bank.output)},
               {"index", m.index},      {"name", Text(m.name)},
               {"offset", m.offset},    {"length", m.length},
               {"codec", m.codec}};
  PutMeasured(line, "rate", m.rate);
  PutMeasured(line, "channels", m.channels);
  PutMeasured(line, "samples", m.samples);
  if (m.samples >= 0 && m.rate > 0)
    line["seconds"] = static_cast<double>(m.samples) / static_cast<double>(m.rate);
  PutMeasured(line, "loop_start", m.loopStart);
  PutMeasured(line, "loop_end", m.loopEnd);
  if (m.encrypted) line["encrypted"] = true;
  if (!o.shape.playable) {
    line["playable"] = false;
    line["reason"] = o.shape.reason;
  }
  if (!o.output.empty()) line["output"] = Text(o.output);
  PutDigests(line, o.digests);
  if (!o.error.empty()) line["error"] = Text(o.error);
  PutDecoded(line, decoded);
  return line.dump();
}

std::string ErrorJsonLine(const std::string& input, const std::string& error) {
  return Json{{"type", "error"}, {"input", Text(input)}, {"error", Text(error)}}.dump();
}

std::string NotReadJsonLine(const std::string& input) {
  return Json{{"type", "not_read"}, {"input", Text(input)}}.dump();
}
