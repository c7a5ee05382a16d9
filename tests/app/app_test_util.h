// Helpers for the window tests: the window with a scripted seam, its controls
// by name, temporary files and synthetic MP3 data.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <memory>
#include <string>

#include "app/app_setup.h"
#include "app/frm_main.h"
#include "test_seam.h"

// The window as the program shows it, with the scripted seam and an event
// pump at every block so that cancels arrive at a known place.
struct WindowUnderTest {
  TestSeam seam;
  std::unique_ptr<TfrmMain> window;

  WindowUnderTest() {
    window = std::make_unique<TfrmMain>();
    window->setSeam(&seam);
    window->setPumpIntervalMs(0);
    window->show();
    (void)QTest::qWaitForWindowExposed(window.get());
  }

  template <class T>
  T* find(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }

  QStringList log() const {
    QStringList lines;
    auto* list = find<QListView>("lbxLog");
    for (int i = 0; i < list->model()->rowCount(); ++i)
      lines << list->model()->index(i, 0).data().toString();
    return lines;
  }
};

// The title and translations of the program.
// Japanese, whatever the locale of the test run.
inline void InitTestApplication() { InitApplication(*qobject_cast<QApplication*>(qApp), "ja"); }

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

inline std::string Std(const QString& text) { return text.toUtf8().toStdString(); }

// Deterministic bytes without 0xFF, so that no MPEG frame header hides in
// them.
inline QByteArray Filler(int count, uint32_t seed) {
  QByteArray bytes(count, '\0');
  for (int i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    bytes[i] = static_cast<char>((seed >> 24) % 0xFF);
  }
  return bytes;
}

// A committed fixture from tests/data.
inline QByteArray Fixture(const char* name) {
  return ReadFile(QStringLiteral(ZANDREL_TEST_DATA "/") + QString::fromLatin1(name));
}

// Filler with `streams` copies of a real MP3 file (14 frames of MPEG-1 Layer
// III, 5850 bytes) embedded in it.
inline QByteArray InputWithStreams(int streams, uint32_t seed, int fillerBytes = 3000) {
  const QByteArray mp3 = Fixture("mpeg1_cbr128.mp3");
  QByteArray bytes = Filler(fillerBytes, seed);
  for (int i = 0; i < streams; ++i) {
    bytes += mp3;
    bytes += Filler(fillerBytes, seed + i + 1);
  }
  return bytes;
}

// Restores the working directory when the test ends.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const QString& dir) : saved_(QDir::currentPath()) {
    QDir::setCurrent(dir);
  }
  ~WorkingDirectory() { QDir::setCurrent(saved_); }

 private:
  QString saved_;
};
