// Where the player's PCM goes: the sound device, behind a seam so that the
// player can be driven without one. The device's output is prepared for the
// PCM's format before a sample is given, and given the whole PCM from memory,
// so that a sound plays from its first sample, a tenth of a second as well.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/pcm_decoder.h"

class SoundOut {
 public:
  virtual ~SoundOut() = default;

  // What the player hears back, on its thread, after the call that started
  // the playing has returned.
  std::function<void()> ended;                     // the last sample has been heard
  std::function<void(const std::string&)> failed;  // the device stopped: why

  // Why nothing can be played now (no device), or empty.
  virtual std::string unavailable() const = 0;
  // Readies the device for PCM of `sampleRate` and `channels`; false with
  // `why` set when it cannot take it.
  virtual bool prepare(int sampleRate, int channels, std::string& why) = 0;
  // Plays `pcm` from its sample frame `fromFrame` to its end; the PCM stays
  // held until stop() or the next start().
  virtual void start(std::shared_ptr<const DecodedPcm> pcm, int64_t fromFrame) = 0;
  // Stops at once; neither `ended` nor `failed` follows.
  virtual void stop() = 0;
  // 0 (silent) to 1 (as decoded).
  virtual void setVolume(double volume) = 0;
  // Sample frames the device has taken since start().
  virtual int64_t playedFrames() const = 0;
};

// The system's default audio output through Qt Multimedia.
std::unique_ptr<SoundOut> DeviceSoundOut(QObject* owner);
