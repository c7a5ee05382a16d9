// The player's decoding (export/pcm_decode.h) off the window's thread.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "export/pcm_decode.h"

// DecodePcm() on a thread of Qt's pool. decoded() comes on this object's
// thread at a later turn of its event loop, never inside start(); a start()
// or a cancel() forgets the decoding in progress. What --decode refuses
// (export/decode_check.h) fails with the same reason, FFmpeg not asked.
class PcmDecoder : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~PcmDecoder() override;

  // `prepare`, when given, runs on the pool first (it writes the file
  // `path`); its failure, in the source language of context "PcmDecode",
  // is the decoding's.
  void start(const std::string& path, const std::string& kind, double maxSeconds,
             std::function<std::string()> prepare = {});
  void cancel();

 signals:
  void decoded(std::shared_ptr<const DecodedPcm> pcm);

 private:
  struct Job;
  std::shared_ptr<Job> job_;
};
