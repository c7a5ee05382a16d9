// Plays an output file: decoded into PCM with FFmpeg (pcm_decode.h) off the
// window's thread, then played whole from memory through a sound output
// (sound_out.h) prepared for it first, so that a sound plays from its first
// sample. A state machine:
//
//   idle --play--> loading --decoded--> playing --end--> ended
//     ^               |                    |               |
//     +-----stop------+--------stop--------+               |
//   loading/playing --failure--> failed (one failed() a failure)
//   ended/failed/playing --play of the same file--> playing (replay, no decoding)
//
// A playing that has given the device no sample a second after it began is
// a failure: it is never left "playing" in silence.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/pcm_decoder.h"
#include "app/sound_out.h"
#include "carve/engine/sink.h"

class QTemporaryDir;

class Player : public QObject {
  Q_OBJECT

 public:
  enum class State { Idle, Loading, Playing, Ended, Failed };

  // Plays through `out`; null: the system's default audio output.
  explicit Player(QObject* parent = nullptr, std::unique_ptr<SoundOut> out = nullptr);
  ~Player() override;

  // Starts playing the file `path` (a byte string) of the kind `kind` (its
  // row's format) from its start, stopping what played. Without an audio
  // output device nothing plays and `failed` tells why.
  void play(const std::string& path, const std::string& kind);
  // Plays the member `member` of the bank `bank` wrote: its bytes, in the
  // shape a member is written as a file, go to a temporary folder off the
  // window's thread and are decoded from there as play() decodes. A member
  // no player opens (raw codec data, encrypted) is a failure at once.
  void playMember(const StreamReport& bank, const Member& member);
  void stop();
  // Goes to `seconds` into the sound held; plays on from there.
  void seek(double seconds);
  // 0 (silent) to 1; kept for the next sounds.
  void setVolume(double volume);

  State state() const { return state_; }
  // Loading or playing: the Stop button has something to stop.
  bool playing() const { return state_ == State::Loading || state_ == State::Playing; }
  // Seconds into the sound and its length; 0 while none is held.
  double position() const;
  double duration() const;
  // How long a playing may stay silent before it is a failure.
  void setSilenceLimitMs(int ms) { watchdog_.setInterval(ms); }

 signals:
  // A failure: the one text for its box.
  void failed(const QString& message);
  void playingChanged(bool playing);
  void stateChanged(Player::State state);
  // Every few tenths of a second while playing, and at every change.
  void positionChanged(double seconds, double duration);

 private:
  void load(const std::string& path, const std::string& kind, const QString& shown,
            std::function<std::string()> prepare);
  void decoded(std::shared_ptr<const DecodedPcm> pcm);
  // Plays the sound held from its sample frame `frame`.
  void startAt(int64_t frame);
  // A failure of the playing in progress; nothing once it has ended or failed.
  void fail(const QString& why);
  // Fails whatever the state: a start of the sound held could not be made.
  void failNow(const QString& why);
  void ended();
  void silenceCheck();
  void setState(State state);

  std::string path_;
  std::string kind_;
  QString shown_;  // what the boxes name: the file, or the bank and member
  // The last member played, its temporary folder and its file in there.
  std::string memberKey_, memberPath_;
  std::shared_ptr<QTemporaryDir> memberDir_;
  PcmDecoder* decoder_;
  std::unique_ptr<SoundOut> out_;
  std::shared_ptr<const DecodedPcm> pcm_;  // the sound held
  int64_t startFrame_ = 0;                 // where the device began in it
  int64_t endFrame_ = -1;                  // where it ended; -1: it has not
  State state_ = State::Idle;
  QTimer watchdog_;
  QTimer tick_;
};
