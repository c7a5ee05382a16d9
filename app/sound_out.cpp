#include "app/sound_out.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QTimer>

namespace {

// The device's own buffer, and the silence after the last sample that
// carries the last of the sound through it before the device goes idle.
constexpr int kBufferMs = 100;
constexpr int kTailMs = 2 * kBufferMs;

class DeviceOut : public SoundOut {
 public:
  explicit DeviceOut(QObject* owner) : owner_(owner) {}
  ~DeviceOut() override { stop(); }

  std::string unavailable() const override {
    if (!QMediaDevices::audioOutputs().isEmpty()) return {};
    return QCoreApplication::translate("Player", "音声を出力する装置がありません。").toStdString();
  }

  bool prepare(int sampleRate, int channels, std::string& why) override {
    stop();
    format_.setSampleRate(sampleRate);
    format_.setChannelCount(channels);
    format_.setSampleFormat(QAudioFormat::Int16);
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(format_)) {
      why = QCoreApplication::translate("Player", "音声の装置がこの形式を再生できません")
                .toStdString();
      return false;
    }
    sink_ = std::make_unique<QAudioSink>(device, format_);
    sink_->setBufferSize(format_.bytesForDuration(kBufferMs * 1000));
    sink_->setVolume(volume_);
    QObject::connect(sink_.get(), &QAudioSink::stateChanged, owner_,
                     [this](QAudio::State state) { changed(state); });
    return true;
  }

  void start(std::shared_ptr<const DecodedPcm> pcm, int64_t fromFrame) override {
    if (!sink_) return;
    sink_->stop();
    buffer_.close();
    const qsizetype frameBytes = format_.bytesPerFrame();
    const auto* data = reinterpret_cast<const char*>(pcm->samples.data());
    const qsizetype all = static_cast<qsizetype>(pcm->samples.size() * sizeof(int16_t));
    const qsizetype from = std::min<qsizetype>(fromFrame * frameBytes, all);
    bytes_ = QByteArray(data + from, all - from);
    bytes_.append(QByteArray(format_.bytesForDuration(kTailMs * 1000), '\0'));
    pcm_ = std::move(pcm);
    buffer_.setBuffer(&bytes_);
    buffer_.open(QIODevice::ReadOnly);
    sink_->start(&buffer_);
  }

  void stop() override {
    if (sink_) {
      // Let go of the sink before it reports its stop.
      std::unique_ptr<QAudioSink> sink = std::move(sink_);
      sink->disconnect(owner_);
      sink->stop();
    }
    buffer_.close();
    pcm_.reset();
  }

  void setVolume(double volume) override {
    volume_ = volume;
    if (sink_) sink_->setVolume(volume);
  }

  int64_t playedFrames() const override {
    if (!sink_ || format_.sampleRate() <= 0) return 0;
    return sink_->processedUSecs() * format_.sampleRate() / 1000000;
  }

 private:
  void changed(QAudio::State state) {
    if (!sink_) return;
    const QAudio::Error error = sink_->error();
    if (state == QAudio::IdleState && buffer_.atEnd()) {
      // Reported later, never inside the sink's own signal.
      QTimer::singleShot(0, owner_, [this, sink = sink_.get()] {
        if (sink_.get() == sink && sink_->state() == QAudio::IdleState && ended) ended();
      });
    } else if (state == QAudio::StoppedState && error != QAudio::NoError) {
      const std::string why = QCoreApplication::translate("Player", "音声の装置が止まりました (%1)")
                                  .arg(static_cast<int>(error))
                                  .toStdString();
      QTimer::singleShot(0, owner_, [this, why, sink = sink_.get()] {
        if (sink_.get() == sink && failed) failed(why);
      });
    }
  }

  QObject* owner_;
  QAudioFormat format_;
  std::unique_ptr<QAudioSink> sink_;
  std::shared_ptr<const DecodedPcm> pcm_;
  QByteArray bytes_;
  QBuffer buffer_;
  double volume_ = 1.0;
};

}  // namespace

std::unique_ptr<SoundOut> DeviceSoundOut(QObject* owner) {
  return std::make_unique<DeviceOut>(owner);
}
