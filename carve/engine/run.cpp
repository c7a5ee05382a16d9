#include "carve/engine/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <string_view>
#include <thread>
#include <unordered_set>

#include "carve/engine/formats.h"
#include "carve/engine/host.h"
#include "carve/engine/run_outputs.h"
#include "carve/engine/scan_pass.h"
#include "carve/engine/sink.h"
#include "output/naming.h"
#include "output/tag_ini.h"
#include "platform/folders.h"
#include "platform/image_input.h"
#include "platform/image_segments.h"
#include "platform/io_error.h"
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

// Whether the run is that of a classic command alone: the first three rows
// of the table of formats (mp3, ogg, wav), each of whose lines and boxes
// stays as it always was.
bool IsClassicRun(const std::vector<const FormatRow*>& formats) {
  const auto rows = Formats();
  return formats.size() == 1 &&
         std::any_of(rows.begin(), rows.begin() + 3,
                     [&](const FormatRow& row) { return &row == formats[0]; });
}

// The directory part of `pattern` when it is plain text (every '%' doubled),
// as the folder the outputs go to; nothing when it holds a conversion, whose
// folder is known only per stream.
std::optional<std::string> PlainOutputFolder(const std::string& pattern) {
  const size_t slash = pattern.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  for (size_t i = 0; i < slash; ++i) {
    if (pattern[i] == '%' && (i + 1 >= slash || pattern[++i] != '%')) return std::nullopt;
  }
  bool hasDir = false;
  return PatternDirectory(pattern, hasDir);
}

// The errno of the folder the outputs go to that no output could be written
// in: one that is no folder, or cannot be written in, or cannot be made
// (the run makes the last folder of the pattern, not those above it); 0
// when there is none.
int OutputFolderErrno(const std::string& dir, Env& env) {
  struct stat st {};
  std::string writable = dir;
  if (LookAt(env, dir, &st, true) != 0) {
    if (errno != ENOENT) return errno;
    const size_t slash = dir.find_last_of('/');
    writable = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
    if (LookAt(env, writable, &st, true) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  } else if (!S_ISDIR(st.st_mode)) {
    return ENOTDIR;
  }
  return env.access(writable.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

// Says once, before the run, why no output could be written; false then.
// A run of a classic command (mp3, ogg, wav) alone asks about each stream
// instead, as it always did.
bool OutputFolderWritable(Host& host, const RunRequest& request) {
  if (request.options.dryRun || !request.pattern || IsClassicRun(request.formats)) return true;
  const std::optional<std::string> dir = PlainOutputFolder(request.pattern());
  if (!dir) return true;
  const int err = OutputFolderErrno(*dir, request.env);
  if (err == 0) return true;
  //: %1 the output folder, %2 the cause ("Read-only file system").
  const UiText text = Tr("run", "出力フォルダ(%1)に書き込めません: %2")
                          .arg(EscapeControls(*dir))
                          .arg(ErrnoCause(err).shown());
  host.Failure({text.shown(), "", kIoOsBase + err, BoxType::Error, BoxButtons::Ok, true});
  return false;
}

// With images read, whether `input` is a later segment of an image whose
// first segment is an input of the run too, which reads it: said once in
// the log, and the input passed over.
// With images read: the first segment of the image among the inputs that
// `input` is a later segment file of, which reads it; empty when none is.
std::string ImageAmongInputs(Host& host, const RunRequest& request, const std::string& input,
                             std::unordered_set<std::string_view>& inputs) {
  if (!host.Images()) return {};
  std::string first = ImageFirstSegmentOf(input, request.env);
  if (first.empty()) return {};
  if (inputs.empty()) {
    for (std::string_view name : request.inputs) inputs.insert(name);
  }
  return inputs.contains(first) ? first : std::string();
}

void LogReadWithItsImage(Host& host, const std::string& input, const std::string& first) {
  //: %1 a segment file of an image given as an input, %2 the image's first segment file.
  host.AddLog(Tr("run", "\"%1\"は\"%2\"から始まるイメージの一部として読みます")
                  .arg(EscapeControls(input))
                  .arg(EscapeControls(first))
                  .shown());
}

// Whether `path` is named as the first segment file of an image: a split
// raw set's, or an EWF image's (.E01, .L01, .Ex01, .Lx01, .s01).
bool NamedAsImage(const std::string& path, Env& env) {
  const size_t dot = path.rfind('.');
  std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c | 0x20);
  if (ext == "e01" || ext == "l01" || ext == "ex01" || ext == "lx01" || ext == "s01") return true;
  return SegmentNames(path, env).size() > 1;
}

// The bytes the walk of the `i`th input goes through: with images read, the
// whole image its first segment file opens (the file holds only part of it).
// (Only a file named as an image's first segment is opened for it: an EWF
// image named otherwise is counted by its first file, which costs the meter
// its accuracy but spares every other input an open of its own.)
int64_t WalkedBytes(Host& host, RunState& run, const std::string& input, size_t i) {
  if (!host.Images() || !NamedAsImage(input, run.env()) || !RegularFileExists(input, run.env())) {
    return run.inputSize(i);  // a FIFO is not opened twice: its bytes would be gone
  }
  try {
    return OpenInput(input, true, run.env()).size();
  } catch (const IoError&) {
    return run.inputSize(i);  // its pass meets the failure itself
  }
}

// The first segments of the images that the inputs are later segments of
// (empty for the others), and the bytes each input's walk goes through: a
// later segment of an image among the inputs is read with the image, whose
// bytes its first segment counts.
void MeasureInputs(Host& host, const RunRequest& request, RunState& run,
                   std::vector<std::string>& images, std::vector<int64_t>& walked) {
  std::unordered_set<std::string_view> names;  // made when a segment first asks
  for (size_t i = 0; i < request.inputs.size(); ++i) {
    const std::string input(request.inputs[i]);
    images.push_back(ImageAmongInputs(host, request, input, names));
    walked.push_back(images.back().empty() ? WalkedBytes(host, run, input, i) : 0);
  }
}

// Whether the run passes over `input`: a file below a folder given as input
// may be one this run wrote; a later segment of an image is read with it.
bool PassedOver(Host& host, RunState& run, const std::string& input, const std::string& image) {
  if (run.outputs().wrote(input)) return true;
  if (image.empty()) return false;
  LogReadWithItsImage(host, input, image);
  return true;
}

}  // namespace

int DefaultJobs() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

RunOutcome CarveInputs(Host& host, const RunRequest& request) {
  RunOutcome outcome;
  std::optional<TagIni> ini;
  outcome.check = ReadTagIni(host, request, ini);
  if (outcome.check != RunCheck::Go) return outcome;
  if (!OutputFolderWritable(host, request)) return {.check = RunCheck::Failed};
  // The inputs' files are taken before any output is written.
  RunState run(request.options, request.inputs, request.env);
  if (ini) run.holdTagIni(std::move(*ini));
  host.RunBegins();
  const int64_t count = static_cast<int64_t>(request.inputs.size());
  std::vector<std::string> images;
  std::vector<int64_t> walked;
  MeasureInputs(host, request, run, images, walked);
  JobPlace place{.count = count, .totalBytes = std::reduce(walked.begin(), walked.end())};
  bool cancelled = false;
  int64_t notRead = 0;
  for (size_t i = 0; i < request.inputs.size(); ++i) {
    if (cancelled) {
      // The inputs a cancel left unread, each said to be so.
      host.InputNotRead(std::string(request.inputs[i]));
      ++notRead;
      continue;
    }
    const std::string input(request.inputs[i]);
    place.index = static_cast<int64_t>(i) + 1;
    const std::string& image = images[i];
    place.bytes = walked[i];
    host.InputPlace(place);
    place.bytesBefore += place.bytes;
    if (PassedOver(host, run, input, image) || !host.InputBegins(input)) continue;
    // The next input that is not read with an image before it.
    size_t next = i + 1;
    while (next < images.size() && !images[next].empty()) ++next;
    run.setNextInput(next < images.size() ? std::string(request.inputs[next]) : "");
    outcome.written += ExtractFormats(host, request.formats, input, request.pattern(), run);
    cancelled = !host.Running();
  }
  //: %1 how many inputs the run did not begin.
  if (notRead > 0)
    host.AddLog(Tr("run", "%1個の入力ファイルは読んでいません").arg(notRead).shown());
  return outcome;
}
