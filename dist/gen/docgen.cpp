// Fills the templates of the manual page and the completion of zandrel-cli
// from the table of formats and the table of options:
//   zandrel-docgen TEMPLATE OUTPUT
// A line "{{COMMANDS}}" becomes a paragraph for each command: a format's
// heading and usage text, then the lines the template holds for it between
// "{{COMMAND word}}" and "{{END}}" (for all and crc, only those lines); a line
// "{{OPTION --name}}" becomes the option's heading, and its text follows in
// the template. "{{COMMAND_WORDS}}", "{{OPTION_WORDS}}", "{{FILE_OPTIONS}}",
// "{{VALUE_OPTIONS}}" and "{{FORMAT_WORDS}}" within a line become those lists,
// and "{{SYNOPSIS_COMMANDS}}" the commands for a .RB line. A template that
// has text for an option or command no table holds, or no heading for an
// option of the table, is refused: the build fails.
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "carve/engine/formats.h"
#include "cli/cli_options.h"

namespace {

std::string Join(const std::vector<std::string>& words, const std::string& separator) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : separator) + w;
  return out;
}

// Roff text with its hyphens and backslashes escaped.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '-' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string OptionHeading(const CliOptionRow& row) {
  std::string line = ".TP\n.BR ";
  if (row.shortName != 0) line += "\\-" + std::string(1, row.shortName) + " \", \" ";
  line += Roff(row.longName);
  if (!row.values.empty()) line += " \" \\fI" + std::string(row.values) + "\\fR\"";
  return line;
}

void ReplaceAll(std::string& line, const std::string& key, const std::string& value) {
  for (size_t at; (at = line.find(key)) != std::string::npos;) line.replace(at, key.size(), value);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: zandrel-docgen TEMPLATE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "zandrel-docgen: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::vector<std::string> formatWords, optionWords, fileOptions, valueOptions;
  for (const FormatRow& row : Formats()) formatWords.emplace_back(row.command);
  for (const CliOptionRow& row : CliOptionRows()) {
    optionWords.emplace_back(row.longName);
    if (row.values == "FILE" || row.values == "PATTERN") {
      if (row.shortName != 0) fileOptions.push_back("-" + std::string(1, row.shortName));
      fileOptions.emplace_back(row.longName);
    } else if (!row.values.empty()) {
      valueOptions.emplace_back(row.longName);
    }
  }
  optionWords.emplace_back("--");
  std::vector<std::string> synopsis;
  for (const std::string& word : CliCommandWords()) synopsis.push_back(word);

  // The template's own lines for each command, taken out of the text.
  std::vector<std::string> lines;
  std::map<std::string, std::string> commandText;
  bool ok = true;
  {
    std::string block;
    bool inBlock = false;
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with("{{COMMAND ") && line.ends_with("}}")) {
        block = line.substr(10, line.size() - 12);
        inBlock = true;
        if (FindFormat(block) == nullptr && block != kAllCommand && block != kCrcCommand) {
          std::cerr << "zandrel-docgen: " << argv[1] << " describes no command '" << block << "'\n";
          ok = false;
        }
        commandText[block];
      } else if (inBlock && line == "{{END}}") {
        inBlock = false;
      } else if (inBlock) {
        commandText[block] += line + "\n";
      } else {
        lines.push_back(line);
      }
    }
  }

  std::ostringstream out;
  std::set<std::string> headed;
  for (std::string line : lines) {
    if (line == "{{COMMANDS}}") {
      for (const FormatRow& row : Formats()) {
        out << ".TP\n.B " << row.command << "\n"
            << Roff(row.usage) << ".\n"
            << commandText[std::string(row.command)];
      }
      for (std::string_view word : {kAllCommand, kCrcCommand}) {
        out << ".TP\n.B " << word << "\n" << commandText[std::string(word)];
      }
      continue;
    }
    if (line.starts_with("{{OPTION ") && line.ends_with("}}")) {
      const std::string name = line.substr(9, line.size() - 11);
      const CliOptionRow* found = nullptr;
      for (const CliOptionRow& row : CliOptionRows()) {
        if (row.longName == name) found = &row;
      }
      if (found == nullptr) {
        std::cerr << "zandrel-docgen: " << argv[1] << " describes no option '" << name << "'\n";
        ok = false;
        continue;
      }
      headed.insert(name);
      out << OptionHeading(*found) << "\n";
      continue;
    }
    ReplaceAll(line, "{{COMMAND_WORDS}}", Join(CliCommandWords(), " "));
    ReplaceAll(line, "{{FORMAT_WORDS}}", Join(formatWords, " "));
    ReplaceAll(line, "{{OPTION_WORDS}}", Join(optionWords, " "));
    ReplaceAll(line, "{{FILE_OPTIONS}}", Join(fileOptions, " | "));
    ReplaceAll(line, "{{VALUE_OPTIONS}}", Join(valueOptions, " | "));
    ReplaceAll(line, "{{SYNOPSIS_COMMANDS}}", Join(synopsis, " | "));
    out << line << "\n";
  }
  // A manual page describes every option of the table.
  if (headed.size() > 0) {
    for (const CliOptionRow& row : CliOptionRows()) {
      if (!headed.count(std::string(row.longName))) {
        std::cerr << "zandrel-docgen: " << argv[1] << " does not describe " << row.longName << "\n";
        ok = false;
      }
    }
  }
  if (!ok) return 1;
  std::ofstream file(argv[2]);
  file << out.str();
  return file ? 0 : 1;
}
