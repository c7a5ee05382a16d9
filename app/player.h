// Plays an output file: through Qt Multimedia's media player where the
// system's media framework opens the file, otherwise decoded into PCM with
// FFmpeg (pcm_decode.h), off the window's thread, and played through Qt's
// audio output.
#pragma once

#include <QBuffer>
#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "app/pcm_decode.h"

class QAudioOutput;
class QAudioSink;
class QMediaPlayer;

class Player : public QObject {
  Q_OBJECT

 public:
  explicit Player(QObject* parent = nullptr);
  ~Player() override;

  // Starts playing the file `path` (a byte string) of the kind `kind` (its
  // row's format), stopping what played. Without an audio output device
  // nothing plays and `failed` tells why.
  void play(const std::string& path, const std::string& kind);
  void stop();
  bool playing() const { return playing_; }

 signals:
  // Nothing could be played: a text for a box.
  void failed(const QString& message);
  void playingChanged(bool playing);

 private:
  // The media player could not open the file: decode it ourselves.
  void playDecoded();
  // The PCM of the file is there: play it.
  void playPcm(const DecodedPcm& pcm);
  void setPlaying(bool playing);

  std::string path_;
  std::string kind_;
  PcmDecoder* decoder_;
  QMediaPlayer* media_ = nullptr;
  QAudioOutput* output_ = nullptr;
  std::unique_ptr<QAudioSink> sink_;
  QBuffer pcm_;
  bool playing_ = false;
};
