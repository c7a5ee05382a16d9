#include "app/text_conv.h"

namespace {

// The length of the valid UTF-8 sequence at `at`, or 0: no overlong form, no
// surrogate, nothing above U+10FFFF.
size_t ValidSequence(const std::string& s, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > s.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
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
