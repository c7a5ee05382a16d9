// The usage text of --help and the version line, made from the tables of
// formats and options.
#include <string>
#include <string_view>

#include "carve/engine/formats.h"
#include "cli/cli_options.h"

namespace {

// Breaks `text` into lines of at most `width` characters after `indent`
// blanks, the first line going on from `first`.
std::string Wrapped(std::string first, std::string_view text, size_t indent, size_t width) {
  std::string out;
  std::string line = std::move(first);
  if (line.size() + 1 > indent) {
    out += line + "\n";
    line.clear();
  }
  line.resize(indent, ' ');
  size_t from = 0;
  bool empty = true;
  while (from < text.size()) {
    size_t blank = text.find(' ', from);
    if (blank == std::string_view::npos) blank = text.size();
    const std::string_view word = text.substr(from, blank - from);
    if (!empty && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.assign(indent, ' ');
      empty = true;
    }
    if (!empty) line += ' ';
    line += word;
    empty = false;
    from = blank + 1;
  }
  return out + line + "\n";
}

}  // namespace

std::string CliUsageText() {
  constexpr size_t kIndent = 24, kWidth = 79;
  std::string words;
  for (const std::string& word : CliCommandWords()) words += (words.empty() ? "" : "|") + word;
  std::string text = "Usage: zandrel-cli [" + words + "] [OPTION]... INPUT...\n" +
                     "  or:  zandrel-cli merge-reports OUT REPORT...\n" +
                     "Finds audio streams inside INPUT files and writes each to a file of its "
                     "own.\nThe command word may come before or after the options, before the "
                     "inputs.\n\n";
  for (const FormatRow& row : Formats()) {
    text += Wrapped("  " + std::string(row.command), row.usage, 8, kWidth);
  }
  text += Wrapped("  " + std::string(kAllCommand),
                  "every format in one read of each INPUT (--formats limits it)", 8, kWidth);
  text += Wrapped("  " + std::string(kCrcCommand), "print the CRC-32 of every INPUT", 8, kWidth);
  text += Wrapped("  merge-reports",
                  "write the reports of --report (of one image each, say) as one, to the new "
                  "file OUT",
                  8, kWidth);
  text += "\n";
  for (const CliOptionRow& row : CliOptionRows()) {
    std::string names = "  ";
    names += row.shortName != 0 ? std::string("-") + row.shortName + ", " : "";
    names += std::string(row.longName);
    if (!row.values.empty()) {
      names += ' ';
      names += row.values;
    }
    text += Wrapped(names, row.help, kIndent, kWidth);
  }
  text += Wrapped("  --", "the arguments after it are input names", kIndent, kWidth);
  text +=
      "\n"
      "Short options may be combined (-qn).\n"
      "Log lines go to standard output, messages to standard error.\n"
      "Exit status: 0 all inputs scanned without failure; 1 an input missing or a\n"
      "failure reported; 2 a usage error or a run refused by a check.\n";
  return text;
}

std::string CliVersionText() { return "zandrel " ZANDREL_VERSION; }
