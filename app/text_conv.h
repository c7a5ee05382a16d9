// Texts are UTF-8 byte strings on the engine side and QString in the window.
#pragma once

#include <QString>
#include <string>

inline QString ToQ(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQ(const QString& text) { return text.toUtf8().toStdString(); }
