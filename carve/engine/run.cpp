#include "carve/engine/run.h"

#include <algorithm>

#include "carve/engine/formats.h"
#include "carve/engine/host.h"
#include "carve/engine/run_outputs.h"
#include "carve/engine/scan_pass.h"
#include "carve/engine/sink.h"
#include "output/naming.h"
#include "output/tag_ini.h"
#include "platform/folders.h"
#include "platform/translate.h"

RunCheck CheckTagIniRun(const NameList& inputs, const TagIni& ini, Prompt& prompt) {
  if (inputs.size() > 1) {
    prompt.Refuse(Tr("run", "IniFileを指定した場合は複数選択できません").shown());
    return RunCheck::Refused;
  }
  if (inputs.empty()) return RunCheck::Failed;
  const std::string first(inputs.front());
  const std::string expectedName = ini.ReadString("general", "InputFile", "");
  const std::string expectedCrc = ini.ReadString("general", "InputCRC", "");
  // Both comparisons are exact and case-sensitive. An input named without
  // any folder has an empty base name, so a name never matches it.
  if (!expectedName.empty() && ExtractBaseName(first) != expectedName &&
      !prompt.Confirm(
          Tr("run", "入力ファイル名がINIで指定されたものと違っていますが、続行しますか？")
              .shown())) {
    return RunCheck::Refused;
  }
  if (expectedCrc.empty()) return RunCheck::Go;
  const std::optional<std::string> actual = prompt.InputCrcText(first);
  if (!actual) return RunCheck::Failed;
  if (*actual != expectedCrc &&
      !prompt.Confirm(
          Tr("run", "CRCがINIで指定されたものと違っていますが、続行しますか？").shown())) {
    return RunCheck::Refused;
  }
  return RunCheck::Go;
}

NameList ExpandFolders(const NameList& inputs, Sink& sink, const std::string* outputPattern,
                       Env& env) {
  std::optional<FileIdentities> outputFolder;
  if (outputPattern != nullptr) {
    bool hasDir = false;
    const std::string dir = PatternDirectory(*outputPattern, hasDir);
    outputFolder.emplace(NameList{hasDir ? (dir.empty() ? "/" : dir) : "."}, env);
  }
  NameList files;
  for (std::string_view name : inputs) {
    const std::string input(name);
    if (!DirectoryExists(input, env)) {
      files.push_back(input);
      continue;
    }
    for (const std::string& file : FilesBelow(
             input, [&sink](const IoError& e) { sink.FolderUnreadable(e); },
             outputFolder ? &*outputFolder : nullptr, env)) {
      files.push_back(file);
    }
  }
  return files;
}

namespace {

// Reads the request's tag INI file, when one of its formats reads one, and
// makes its checks: before the run takes anything of its inputs.
RunCheck ReadTagIni(Host& host, const RunRequest& request, std::optional<TagIni>& ini) {
  const bool reads = std::any_of(request.formats.begin(), request.formats.end(),
                                 [](const FormatRow* row) { return row->readsTagIni; });
  if (!reads || !request.tagIni) return RunCheck::Go;
  // A missing or unreadable file gives an empty reader: no stream gets a
  // new tag.
  std::string problem;
  ini = TagIni::Load(*request.tagIni, &problem, request.env);
  if (!problem.empty()) host.TagIniUnreadable(*request.tagIni, problem);
  if (request.prompt == nullptr) return RunCheck::Refused;
  return CheckTagIniRun(request.inputs, *ini, *request.prompt);
}

}  // namespace

RunOutcome CarveInputs(Host& host, const RunRequest& request) {
  RunOutcome outcome;
  std::optional<TagIni> ini;
  outcome.check = ReadTagIni(host, request, ini);
  if (outcome.check != RunCheck::Go) return outcome;
  // The inputs' files are taken before any output is written.
  RunState run(request.options, request.inputs, request.env);
  if (ini) run.holdTagIni(std::move(*ini));
  host.RunBegins();
  for (std::string_view name : request.inputs) {
    const std::string input(name);
    // A file below a folder given as input may be one this run wrote.
    if (run.outputs().wrote(input) || !host.InputBegins(input)) continue;
    outcome.written += ExtractFormats(host, request.formats, input, request.pattern(), run);
    if (!host.Running()) break;
  }
  return outcome;
}
