#include "app/player.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QAudioSink>
#include <QFile>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

#include "app/text_conv.h"

namespace {

// The longest part of a file decoded for playing.
constexpr double kMostSeconds = 600;

}  // namespace

Player::Player(QObject* parent) : QObject(parent), decoder_(new PcmDecoder(this)) {
  connect(decoder_, &PcmDecoder::decoded, this,
          [this](std::shared_ptr<const DecodedPcm> pcm) { playPcm(*pcm); });
}

Player::~Player() { stop(); }

void Player::play(const std::string& path, const std::string& kind) {
  stop();
  if (QMediaDevices::audioOutputs().isEmpty()) {
    emit failed(tr("音声を出力する装置がありません。"));
    return;
  }
  if (media_ == nullptr) {
    media_ = new QMediaPlayer(this);
    output_ = new QAudioOutput(this);
    media_->setAudioOutput(output_);
    connect(media_, &QMediaPlayer::errorOccurred, this, [this] {
      if (!path_.empty() && !sink_) playDecoded();
    });
    connect(media_, &QMediaPlayer::playbackStateChanged, this, [this](auto state) {
      if (state == QMediaPlayer::StoppedState && !sink_) setPlaying(false);
    });
  }
  path_ = path;
  kind_ = kind;
  setPlaying(true);
  media_->setSource(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
  media_->play();
}

void Player::playDecoded() {
  media_->stop();
  // Playing stays on (Stop stops the decoding) until the PCM is there.
  decoder_->start(path_, kind_, kMostSeconds);
}

void Player::playPcm(const DecodedPcm& pcm) {
  if (!pcm.error.empty()) {
    setPlaying(false);
    emit failed(tr("再生できません: ") + ToQ(path_) + QStringLiteral("\n") + ToQ(pcm.error));
    return;
  }
  QAudioFormat format;
  format.setSampleRate(pcm.sampleRate);
  format.setChannelCount(pcm.channels);
  format.setSampleFormat(QAudioFormat::Int16);
  pcm_.close();
  pcm_.setData(reinterpret_cast<const char*>(pcm.samples.data()),
               static_cast<qsizetype>(pcm.samples.size() * sizeof(int16_t)));
  pcm_.open(QIODevice::ReadOnly);
  sink_ = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format);
  connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
    if (state == QAudio::IdleState || state == QAudio::StoppedState) stop();
  });
  sink_->start(&pcm_);
  setPlaying(true);
}

void Player::stop() {
  decoder_->cancel();
  if (sink_) {
    // Let go of the sink before it reports its stop, which calls here again.
    std::unique_ptr<QAudioSink> sink = std::move(sink_);
    sink->disconnect(this);
    sink->stop();
  }
  pcm_.close();
  if (media_ != nullptr) media_->stop();
  path_.clear();
  setPlaying(false);
}

void Player::setPlaying(bool playing) {
  if (playing_ == playing) return;
  playing_ = playing;
  emit playingChanged(playing);
}
