// Texts are UTF-8 byte strings on the engine side and QString in the window.
#pragma once

#include <QString>
#include <string>

inline QString ToQ(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQ(const QString& text) { return text.toUtf8().toStdString(); }

// File names are byte strings that need not be UTF-8. NameToQ() reads a name
// as UTF-8 and keeps each byte that is not part of a valid sequence as the
// lone surrogate U+DC00 + byte (shown as a replacement glyph); NameFromQ()
// gives those bytes back, so that NameFromQ(NameToQ(name)) == name for every
// name. For valid UTF-8 they are ToQ() and FromQ().
QString NameToQ(const std::string& name);
std::string NameFromQ(const QString& text);
