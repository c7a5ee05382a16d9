// The tag INI file: a reader of our own over raw bytes, and the tag of one
// stream read from it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "output/id3v1.h"
#include "platform/env.h"

class TagIni {
 public:
  TagIni() = default;
  // Reads the file; a missing or unreadable file, or one larger than
  // kMaxTextFileSize, gives an empty reader and, when `problem` is given,
  // the reason there.
  static TagIni Load(const std::string& path, std::string* problem = nullptr,
                     Env& env = Env::System());
  // Parses INI text held in memory.
  static TagIni Parse(const std::string& text);

  // Section and key names match without regard to case; values are trimmed
  // of blanks, lose one pair of surrounding double or single quotes and are
  // cut to 2047 bytes.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Decimal, or hexadecimal after "0x" or "$"; anything else counts as missing.
  int64_t ReadInteger(const std::string& section, const std::string& key,
                      int64_t defaultValue) const;
  // A section is present only when it holds at least one key.
  bool SectionExists(const std::string& section) const;

 private:
  // lower-cased section -> lower-cased key -> value (the first occurrence wins)
  std::map<std::string, std::map<std::string, std::string>> sections_;
};

// The tag for stream `n`: "Default" values (year defaulting to `currentYear`,
// genre to "Unknown"), overridden by those of section "Track" + n.
TMp3Tag ReadTagFromIni(const TagIni& ini, int64_t n, int currentYear);
