// Output file names: the base name of an input, the expansion of the output
// name pattern, and the integer formatter that names the Ogg carver's files.
#include "output/naming.h"

#include <algorithm>
#include <string_view>

#include "platform/io_error.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of decimal digits at `i` into a value held to kMaxNameField, so
// that a run of any length neither overflows nor asks for a huge field.
int64_t ReadField(std::string_view text, size_t& i) {
  int64_t value = 0;
  while (i < text.size() && IsDigit(text[i])) {
    value = std::min(value * 10 + (text[i] - '0'), kMaxNameField);
    ++i;
  }
  return value;
}

// The digits of a magnitude in `base` (10 or 16, upper case), padded with
// zeros to `precision` digits.
std::string Digits(uint64_t magnitude, int base, int64_t precision) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.push_back(kDigits[magnitude % base]);
    magnitude /= base;
  } while (magnitude != 0);
  if (static_cast<int64_t>(out.size()) < precision) out.append(precision - out.size(), '0');
  std::reverse(out.begin(), out.end());
  return out;
}

// A signed decimal number: the sign, then at least `precision` digits.
std::string SignedDecimal(int64_t number, int64_t precision) {
  uint64_t magnitude = number < 0 ? 0 - static_cast<uint64_t>(number) : number;
  std::string out;
  if (number < 0) out.push_back('-');
  out += Digits(magnitude, 10, precision);
  return out;
}

// Pads `text` with blanks to `width` characters, on the left unless
// `leftAlign`. A longer text stays whole.
std::string Pad(std::string text, int64_t width, bool leftAlign = false) {
  if (static_cast<int64_t>(text.size()) >= width) return text;
  std::string blanks(width - text.size(), ' ');
  return leftAlign ? text + blanks : blanks + text;
}

// One conversion of a pattern: "%", an optional "-" (where allowed), width
// digits, "." and precision digits, and the conversion byte.
struct Conversion {
  bool leftAlign = false;
  int64_t width = 0;
  int64_t precision = 0;
  char letter = 0;  // 0 when the pattern ends inside the conversion
};

// Copies literal bytes and "%%" from `pattern` at `i` to `out` up to the next
// conversion, reads it into `conv` and returns true; false at the end.
bool NextConversion(std::string_view pattern, size_t& i, std::string& out, bool allowLeftAlign,
                    Conversion& conv) {
  while (i < pattern.size()) {
    if (pattern[i] != '%') {
      out.push_back(pattern[i++]);
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out.push_back('%');
      i += 2;
      continue;
    }
    ++i;
    conv = Conversion{};
    conv.leftAlign = allowLeftAlign && i < pattern.size() && pattern[i] == '-';
    if (conv.leftAlign) ++i;
    conv.width = ReadField(pattern, i);
    if (i < pattern.size() && pattern[i] == '.') {
      ++i;
      conv.precision = ReadField(pattern, i);
    }
    if (i < pattern.size()) conv.letter = pattern[i++];
    return true;
  }
  return false;
}

}  // namespace

std::string ExtractBaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(slash + 1);
}

std::string ExpandOutputName(const std::string& pattern, const std::string& baseName,
                             int64_t number, const std::string& extension) {
  std::string out;
  size_t i = 0;
  Conversion conv;
  while (NextConversion(pattern, i, out, false, conv)) {
    switch (conv.letter) {
      case 0:
        return out;  // an unfinished conversion ends the name
      case 'd':
        out += Pad(SignedDecimal(number, conv.precision), conv.width);
        break;
      case 'f':
        out += Pad(baseName, conv.width);  // a precision is read but never cuts
        break;
      case 'e':
        out += Pad(extension, conv.width);
        break;
      default:
        break;  // an unknown conversion yields nothing
    }
  }
  return out;
}

std::string ReplaceLastThree(const std::string& pattern, const std::string& ext) {
  if (pattern.size() < 3) return ext;
  return pattern.substr(0, pattern.size() - 3) + ext;
}

bool EndsInPlainText(const std::string& pattern, size_t count, PatternReading reading) {
  const bool leftAlignFlag = reading == PatternReading::Number;
  size_t plainFrom = 0;  // where the text after the last "%%" or conversion begins
  size_t i = 0;
  while (i < pattern.size()) {
    if (pattern[i] != '%') {
      ++i;
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      i += 2;
    } else {
      std::string ignored;
      Conversion conv;
      NextConversion(pattern, i, ignored, leftAlignFlag, conv);  // reads this one conversion
    }
    plainFrom = i;
  }
  // A shorter pattern is plain text when it holds no conversion at all.
  return pattern.size() < count ? plainFrom == 0 : pattern.size() - count >= plainFrom;
}

std::string ReplaceExtension(const std::string& pattern, const std::string& ext) {
  const size_t slash = pattern.rfind('/');
  size_t i = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = std::string::npos;
  std::string literal;
  Conversion conv;
  for (;;) {
    // The literal bytes before the next conversion; a '.' among them is the
    // last one so far.
    const size_t from = i;
    literal.clear();
    const bool more = NextConversion(pattern, i, literal, false, conv);
    size_t scan = from;
    for (size_t k = 0; k < literal.size(); ++k, ++scan) {
      if (pattern[scan] == '%') ++scan;  // "%%" gives one literal '%'
      if (literal[k] == '.') dot = scan;
    }
    if (!more) break;
  }
  if (dot == std::string::npos) return pattern + "." + ext;
  return pattern.substr(0, dot + 1) + ext;
}

std::string NameWithExtension(const std::string& pattern, const std::string& baseName,
                              int64_t number, const std::string& ext) {
  return ExpandOutputName(ReplaceExtension(pattern, ext), baseName, number, ext);
}

std::string ExpandOffset(const std::string& pattern, int64_t offset) {
  std::string out;
  size_t i = 0;
  while (i < pattern.size()) {
    const size_t from = i;
    std::string literal;
    Conversion conv;
    if (!NextConversion(pattern, i, literal, false, conv)) {
      out.append(pattern, from, std::string::npos);
      break;
    }
    // The literal bytes as written ("%%" stays doubled), then the conversion.
    const size_t at = pattern.rfind('%', i - 1);
    out.append(pattern, from, at - from);
    if (conv.letter == 'o') {
      out += Pad(Digits(static_cast<uint64_t>(std::max<int64_t>(offset, 0)), 16, conv.precision),
                 conv.width);
    } else {
      out.append(pattern, at, i - at);
    }
  }
  return out;
}

std::string NameBeside(const std::string& name, int64_t n) {
  const size_t slash = name.rfind('/');
  const size_t part = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot <= part) dot = name.size();
  return name.substr(0, dot) + "_" + std::to_string(n) + name.substr(dot);
}

std::string FormatWithNumber(const std::string& pattern, int64_t number) {
  auto invalid = [&pattern]() {
    return IoError(kIoInvalidArgument,
                   "Format '" + pattern + "' invalid or incompatible with argument");
  };
  std::string out;
  bool argumentUsed = false;
  size_t i = 0;
  Conversion conv;
  while (NextConversion(pattern, i, out, true, conv)) {
    if (argumentUsed) throw invalid();
    // Negative numbers show as their unsigned 32-bit value under "u" and "x".
    uint64_t unsignedValue =
        number < 0 ? static_cast<uint32_t>(number) : static_cast<uint64_t>(number);
    std::string text;
    switch (conv.letter) {
      case 'd':
        text = SignedDecimal(number, conv.precision);
        break;
      case 'u':
        text = Digits(unsignedValue, 10, conv.precision);
        break;
      case 'x':
        text = Digits(unsignedValue, 16, conv.precision);
        break;
      default:
        throw invalid();  // another conversion, or one left unfinished
    }
    out += Pad(std::move(text), conv.width, conv.leftAlign);
    argumentUsed = true;
  }
  return out;
}

namespace {

// `dir` as the start of a pattern that names that very folder: every '%'
// doubled, and one '/' at the end.
std::string FolderPart(const std::string& dir) {
  std::string pattern;
  for (char c : dir) {
    pattern += c;
    if (c == '%') pattern += '%';
  }
  if (pattern.empty() || pattern.back() != '/') pattern += '/';
  return pattern;
}

}  // namespace

std::string DefaultOutputPattern(const std::string& dir) {
  return FolderPart(dir) + "output/%3.3d.mp3";
}

std::string FolderOutputPattern(const std::string& dir) { return FolderPart(dir) + "%f_%3.3d.%e"; }

std::string EscapeControls(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      out.push_back(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    }
  }
  return out;
}
