#include "app/player.h"

#include <QTemporaryDir>
#include <algorithm>

#include "app/sound_out.h"
#include "app/text_conv.h"
#include "export/decode_check.h"
#include "export/member_files.h"
#include "platform/env.h"
#include "platform/folders.h"
#include "platform/translate.h"

namespace {

// The longest part of a file decoded for playing.
constexpr double kMostSeconds = 600;
constexpr int kSilenceLimitMs = 1000;
constexpr int kTickMs = 200;

}  // namespace

Player::Player(QObject* parent, std::unique_ptr<SoundOut> out)
    : QObject(parent), decoder_(new PcmDecoder(this)), out_(std::move(out)) {
  if (!out_) out_ = DeviceSoundOut(this);
  out_->ended = [this] { ended(); };
  out_->failed = [this](const std::string& why) {
    fail(tr("再生が止まりました: ") + shown_ + QStringLiteral("\n") + ToQ(why));
  };
  connect(decoder_, &PcmDecoder::decoded, this, &Player::decoded);
  watchdog_.setSingleShot(true);
  watchdog_.setInterval(kSilenceLimitMs);
  connect(&watchdog_, &QTimer::timeout, this, &Player::silenceCheck);
  tick_.setInterval(kTickMs);
  connect(&tick_, &QTimer::timeout, this, [this] { emit positionChanged(position(), duration()); });
}

Player::~Player() {
  decoder_->cancel();
  out_->stop();
}

void Player::play(const std::string& path, const std::string& kind) {
  load(path, kind, ToQ(path), {});
}

void Player::playMember(const StreamReport& bank, const Member& member) {
  const MemberShape shape = ShapeOfMember(member);
  const QString shown =
      ToQ(bank.output) + QStringLiteral(" #") + ToQ(MemberFileName(member, shape));
  // The reason --decode gives for the same member.
  const std::string notDecoded = WhyMemberNotDecoded(member, shape);
  QString why = notDecoded.empty() ? QString() : ToQ(Tr("PcmDecode", notDecoded).shown());
  const std::string key = bank.output + '\n' + std::to_string(member.index);
  if (why.isEmpty() && key != memberKey_) {
    auto dir = std::make_shared<QTemporaryDir>();
    if (!dir->isValid()) why = dir->errorString();
    memberKey_ = key;
    memberDir_ = dir;
    memberPath_ = FromQ(dir->path()) + "/" + MemberFileName(member, shape);
  }
  if (!why.isEmpty()) {
    stop();
    memberKey_.clear();
    setState(State::Failed);
    emit failed(tr("再生できません: ") + shown + QStringLiteral("\n") + why);
    return;
  }
  // The folder lives as long as its writing, also when another play begins.
  load(memberPath_, shape.extension, shown, [bank, member, path = memberPath_, dir = memberDir_] {
    return FileExists(path) ? std::string() : WriteMember(bank, member, path, Env::System());
  });
}

void Player::load(const std::string& path, const std::string& kind, const QString& shown,
                  std::function<std::string()> prepare) {
  const bool same = pcm_ && path == path_ && kind == kind_;
  stop();
  const std::string missing = out_->unavailable();
  if (!missing.empty()) {
    setState(State::Failed);
    emit failed(ToQ(missing));
    return;
  }
  path_ = path;
  kind_ = kind;
  shown_ = shown;
  if (same) return startAt(0);  // the sound held plays again, from memory
  pcm_.reset();
  setState(State::Loading);
  decoder_->start(path, kind, kMostSeconds, std::move(prepare));
}

void Player::decoded(std::shared_ptr<const DecodedPcm> pcm) {
  if (state_ != State::Loading) return;
  if (!pcm->error.empty())
    return fail(tr("再生できません: ") + shown_ + QStringLiteral("\n") +
                ToQ(Tr("PcmDecode", pcm->error).shown()));
  pcm_ = std::move(pcm);
  startAt(0);
}

void Player::startAt(int64_t frame) {
  std::string why;
  if (!out_->prepare(pcm_->sampleRate, pcm_->channels, why))
    return failNow(tr("再生できません: ") + shown_ + QStringLiteral("\n") + ToQ(why));
  startFrame_ = frame;
  endFrame_ = -1;
  setState(State::Playing);
  out_->start(pcm_, frame);
  watchdog_.start();
  tick_.start();
  emit positionChanged(position(), duration());
}

void Player::seek(double seconds) {
  if (!pcm_ || pcm_->sampleRate <= 0) return;
  const int64_t frames = static_cast<int64_t>(pcm_->samples.size()) / pcm_->channels;
  const auto frame =
      std::clamp<int64_t>(static_cast<int64_t>(seconds * pcm_->sampleRate), 0, frames);
  if (state_ == State::Loading) return;
  out_->stop();
  startAt(frame);
}

void Player::setVolume(double volume) { out_->setVolume(std::clamp(volume, 0.0, 1.0)); }

void Player::stop() {
  decoder_->cancel();
  out_->stop();
  watchdog_.stop();
  tick_.stop();
  if (state_ != State::Idle) setState(State::Idle);
}

void Player::ended() {
  if (state_ != State::Playing) return;
  endFrame_ = static_cast<int64_t>(pcm_->samples.size()) / pcm_->channels;
  out_->stop();
  watchdog_.stop();
  tick_.stop();
  setState(State::Ended);
  emit positionChanged(position(), duration());
}

void Player::silenceCheck() {
  if (state_ == State::Playing && out_->playedFrames() <= 0)
    fail(tr("1秒たっても音が出ません: ") + shown_);
}

void Player::fail(const QString& why) {
  // A failure comes once: what follows from the same one finds it failed.
  if (state_ != State::Loading && state_ != State::Playing) return;
  failNow(why);
}

void Player::failNow(const QString& why) {
  decoder_->cancel();
  out_->stop();
  watchdog_.stop();
  tick_.stop();
  setState(State::Failed);
  emit failed(why);
}

double Player::position() const {
  if (!pcm_ || pcm_->sampleRate <= 0) return 0;
  const int64_t frames = static_cast<int64_t>(pcm_->samples.size()) / pcm_->channels;
  int64_t at = endFrame_ >= 0 ? endFrame_ : startFrame_;
  if (state_ == State::Playing) at = startFrame_ + out_->playedFrames();
  return static_cast<double>(std::min(at, frames)) / pcm_->sampleRate;
}

double Player::duration() const {
  if (!pcm_ || pcm_->sampleRate <= 0 || pcm_->channels <= 0) return 0;
  return static_cast<double>(pcm_->samples.size()) / pcm_->channels / pcm_->sampleRate;
}

void Player::setState(State state) {
  if (state_ == state) return;
  const bool was = playing();
  state_ = state;
  emit stateChanged(state);
  if (was != playing()) emit playingChanged(playing());
}
