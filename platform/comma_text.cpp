// The input list and comma text.
#include "platform/comma_text.h"

#include <algorithm>
#include <string_view>

namespace {

// Bytes 1 to 32: blanks and control characters, skipped between entries.
bool IsSpacing(char c) {
  auto b = static_cast<unsigned char>(c);
  return b >= 1 && b <= 32;
}

void SkipSpacing(std::string_view text, size_t& i) {
  while (i < text.size() && IsSpacing(text[i])) ++i;
}

// A quoted entry starting at the quote at `i`: doubled quotes stand for one,
// and an entry without its closing quote runs to the end of the text.
std::string QuotedEntry(std::string_view text, size_t& i) {
  std::string entry;
  ++i;
  while (i < text.size()) {
    char c = text[i++];
    if (c != '"') {
      entry.push_back(c);
    } else if (i < text.size() && text[i] == '"') {
      entry.push_back('"');
      ++i;
    } else {
      break;
    }
  }
  return entry;
}

bool NeedsQuotes(const std::string& name) {
  return std::any_of(name.begin(), name.end(), [](char c) {
    auto b = static_cast<unsigned char>(c);
    return b <= 32 || b == 127 || c == ',' || c == '"';
  });
}

}  // namespace

std::vector<std::string> ParseInputList(const std::string& whole) {
  if (whole.find_first_of("\",") == std::string::npos) return {whole};
  // A zero byte ends the text, as it ends the text of an edit field.
  std::string_view text(whole.data(), std::min(whole.size(), whole.find('\0')));
  std::vector<std::string> entries;
  size_t i = 0;
  SkipSpacing(text, i);
  while (i < text.size()) {
    if (text[i] == '"') {
      entries.push_back(QuotedEntry(text, i));
    } else {
      size_t start = i;
      while (i < text.size() && static_cast<unsigned char>(text[i]) > 32 && text[i] != ',') ++i;
      entries.emplace_back(text.substr(start, i - start));
    }
    SkipSpacing(text, i);
    if (i < text.size() && text[i] == ',') {
      if (i + 1 == text.size()) entries.emplace_back();  // a final comma ends with an empty entry
      ++i;
      SkipSpacing(text, i);
    }
  }
  return entries;
}

std::string ToCommaText(const std::vector<std::string>& names) {
  if (names.size() == 1) return names.front();
  std::string text;
  for (size_t n = 0; n < names.size(); ++n) {
    if (n > 0) text += ',';
    if (!NeedsQuotes(names[n])) {
      text += names[n];
      continue;
    }
    text += '"';
    for (char c : names[n]) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}
