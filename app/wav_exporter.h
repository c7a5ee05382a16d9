// Export as WAV: the chosen streams and members decoded (export/wav_export.h)
// into WAVE files of one folder, one after another on a thread of Qt's pool.
// A member is first written in its playable shape to a temporary folder.
// No WAVE replaces a file; a failure does not stop the rest.
#pragma once

#include <QObject>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "carve/engine/sink.h"

// One thing to decode: a stream's output, or member `member` of a bank.
struct WavExportItem {
  StreamReport report;
  int member = -1;  // among report.members; -1: the stream itself
};

// The name of an item's WAVE: the output's file name + ".wav", or for a
// member the bank's output's file name without its extension, "_" and the
// member's file name with ".wav" ("001_003_name.wav").
std::string WavNameOf(const WavExportItem& item);

class WavExporter : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~WavExporter() override;

  // Decodes `items` into the folder `folder`; progressed() after each,
  // finished() at the end, both at later turns of this object's event loop.
  void start(std::vector<WavExportItem> items, const std::string& folder);
  // Stops after the item in progress (its WAVE is not written); finished()
  // follows with the failures so far.
  void cancel();
  bool running() const { return job_ != nullptr; }

 signals:
  void progressed(int done, int all);
  // One line an item that was not written: its WAVE's name and the reason,
  // translated.
  void finished(const QStringList& failures, bool cancelled);

 private:
  struct Job;
  std::shared_ptr<Job> job_;
};
