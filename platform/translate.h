// The engine's texts for people, in their source language (Japanese), and
// their translation through a hook that a front end installs. Without a hook
// every text is shown as written, so the engine needs no toolkit.
//
// A text is marked for lupdate in one of two ways (docs/translations.md):
//   Tr("context", "日本語の文 %1").arg(value)   where it is shown;
//   ZT("context", "日本語の文")                 where it is only stored (a table
//                                               row), and Tr("context", row.text)
//                                               where it is shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Marks a text stored for later translation; expands to the text itself.
#define ZT(context, text) text

// Gives the reader's form of `source` in `context`; an empty result means
// "no translation" and the source is shown.
using TranslateHook = std::string (*)(const char* context, const std::string& source);

// Installs the hook (null: none). Done once at start, before any run.
void SetTranslateHook(TranslateHook hook);

// One text with its arguments, kept in the source language (the JSON Lines,
// the failures that reports carry) and in the reader's language (the log,
// the boxes, the lines of the command line).
class UiText {
 public:
  UiText(const char* context, std::string_view source);

  // The next argument: the first call fills %1, the second %2, and so on.
  // Arguments are plain text: a '%' inside one is never read as a place.
  UiText arg(std::string_view value) const;
  UiText arg(int64_t value) const { return arg(std::string_view(std::to_string(value))); }

  std::string source() const { return Fill(source_); }
  std::string shown() const { return Fill(shown_); }

 private:
  std::string Fill(const std::string& pattern) const;

  std::string source_;
  std::string shown_;
  std::vector<std::string> args_;
};

// The text `source` of `context`, to be shown.
inline UiText Tr(const char* context, std::string_view source) { return UiText(context, source); }
