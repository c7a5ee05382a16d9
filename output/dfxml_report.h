// The report of a run for examiners (--report): Digital Forensics XML, as
// file carvers write it and forensic suites import it. One <source> for each
// input, one <fileobject> for each output written: its name, its size, the
// range of the input it holds (a <byte_run>) and its digests. An output cut
// short, and a stream that failed, carry a note (an XML comment).
//
// Names are byte strings, written percent-encoded as a URL's path is: the
// characters of valid UTF-8 but controls as they are (XML-escaped), every
// other byte -- a control character, a byte that is no part of a valid UTF-8
// character, and '%' itself -- as %XX (upper-case hex). A reader decodes
// every name so, and gets its bytes back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/digests.h"

class Env;

// A name as the report writes it (see above), before XML escaping.
std::string ReportName(std::string_view bytes);
// A note's text as the report writes it: a name as above, with no "--" in
// it and no '-' at its end.
std::string ReportComment(std::string_view s);

// One output of the run: `length` bytes from `imageOffset` of its input,
// at `fileOffset` of the output, which holds `size` bytes in all.
struct ReportFile {
  std::string name;
  int64_t size = 0, fileOffset = 0, imageOffset = 0, length = 0;
  Digests digests;
  std::string note;  // "truncated: ...", "failed: ..."; empty: none
  bool written = true;
};

class DfxmlReport {
 public:
  // `version`: the program's; `commandLine`: its arguments, joined by spaces.
  DfxmlReport(std::string version, std::string commandLine);

  // An input, the first time it is named; its size as it is now. An image
  // read from several files is named by them all, its first segment first.
  void addSource(const std::string& image, int64_t size) { addSource({image}, size); }
  void addSource(const std::vector<std::string>& segments, int64_t size);
  void addFile(ReportFile file) { files_.push_back(std::move(file)); }
  bool hasSource(const std::string& image) const;

  std::string text() const;
  // Writes the report to `path` whole or not at all, never over a file
  // (kIoOutputExists).
  void write(const std::string& path, Env& env) const;

 private:
  std::string version_, commandLine_, startTime_;
  std::vector<std::pair<std::vector<std::string>, int64_t>> sources_;
  std::vector<ReportFile> files_;
};
