#include "app/text_conv.h"

namespace {

// The lead bytes of UTF-8 sequences of two to four bytes, and the range of
// the second byte after each: no overlong form, no surrogate, nothing above
// U+10FFFF.
struct Lead {
  unsigned char first, last;
  size_t length;
  unsigned char low, high;
};
constexpr Lead kLeads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// The length of the valid UTF-8 sequence at `at`, or 0.
size_t ValidSequence(const std::string& s, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  for (const Lead& l : kLeads) {
    if (lead < l.first || lead > l.last) continue;
    if (at + l.length > s.size() || byte(at + 1) < l.low || byte(at + 1) > l.high) return 0;
    for (size_t i = 2; i < l.length; ++i) {
      if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    return l.length;
  }
  return 0;
}

}  // namespace

QString NameToQ(const std::string& name) {
  QString text;
  size_t start = 0;  // the start of the run of valid sequences not yet converted
  size_t at = 0;
  while (at < name.size()) {
    const size_t length = ValidSequence(name, at);
    if (length != 0) {
      at += length;
      continue;
    }
    text += QString::fromUtf8(name.data() + start, static_cast<qsizetype>(at - start));
    text += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(name[at])));
    start = ++at;
  }
  return text + QString::fromUtf8(name.data() + start, static_cast<qsizetype>(at - start));
}

std::string NameFromQ(const QString& text) {
  std::string name;
  name.reserve(static_cast<size_t>(text.size()));
  qsizetype start = 0;  // the start of the run of ordinary text not yet converted
  const auto flush = [&](qsizetype end) {
    name += QStringView(text).sliced(start, end - start).toUtf8().toStdString();
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    const bool paired = i > 0 && text[i - 1].isHighSurrogate();
    if (unit < 0xDC80 || unit > 0xDCFF || paired) continue;
    flush(i);
    name += static_cast<char>(unit - 0xDC00);
    start = i + 1;
  }
  flush(text.size());
  return name;
}
