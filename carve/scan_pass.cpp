#include "carve/scan_pass.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/file.h"
#include "platform/pacer.h"

namespace {

constexpr int kBlockSize = 512;
// While walking, the clock is looked at once every this many blocks or
// probes.
constexpr int kStepsPerClockCheck = 16;

class ScanPass {
 public:
  ScanPass(Host& host, Carver& carver, const std::string& input, const std::string& pattern)
      : host_(host),
        carver_(carver),
        input_(input),
        pattern_(pattern),
        pacer_(host.PumpIntervalMs(), kStepsPerClockCheck) {}

  int64_t run();

 private:
  bool setUp();
  void walk();
  // Produces stream `found_`; false when the user chose Abort.
  bool produce(const CopySpan& measured);
  void refill();
  void showProgress();
  void reportFailure(const IoError& e);

  Host& host_;
  Carver& carver_;
  const std::string& input_;
  const std::string& pattern_;
  Pacer pacer_;

  File in_;
  int64_t start_ = 0, end_ = 0, next_ = 0;
  unsigned char buf_[kBlockSize + 1] = {};
  int64_t fill_ = 0, cur_ = 0;
  bool empty_ = true;
  int64_t found_ = 0, written_ = 0;
  int lastProgress_ = -1;
  bool aborted_ = false;
};

int64_t ScanPass::run() {
  if (!FileExists(input_)) {
    host_.Beep();
    host_.MessageBox(BoxType::Warning, "入力ファイルが存在しません(" + input_ + ")", BoxButtons::Ok,
                     0);
    return 0;
  }
  host_.AddLog("\"" + input_ + "\"" + carver_.openingText());
  if (!setUp()) return 0;
  try {
    walk();
    if (aborted_) return written_;
    if (!carver_.progressPerProbe()) showProgress();
    in_.close();
  } catch (const IoError& e) {
    reportFailure(e);
    in_.closeQuietly();
    return written_;
  }
  if (found_ == 0) {
    host_.AddLog("Not Found (T-T)");
  } else {
    host_.AddLog(std::to_string(found_) + "個の" + carver_.kindName() + "を発見。うち" +
                 std::to_string(written_) + "個を抽出しました");
  }
  return written_;
}

void ScanPass::reportFailure(const IoError& e) {
  host_.AddLog(std::string("* ") + e.what());
  host_.FailureConcerns(e.path());
  host_.MessageBox(BoxType::Error, e.what(), BoxButtons::Ok, e.code());
}

bool ScanPass::setUp() {
  try {
    in_ = File::OpenRead(input_);
    int64_t size = in_.size();
    if (!host_.LimitRange()) {
      start_ = 0;
      end_ = size - 1;
    } else {
      int64_t lower = host_.LowerPercent();
      int64_t upper = host_.UpperPercent();
      int64_t q = size / 100;
      start_ = lower * q;
      end_ = upper == 100 ? size : q * upper;
    }
    in_.seek(start_);
    next_ = start_;
    empty_ = true;
    return true;
  } catch (const IoError& e) {
    reportFailure(e);
    in_.closeQuietly();
    return false;
  }
}

void ScanPass::showProgress() {
  int position = 0;
  if (end_ - start_ != 0) {
    double share = static_cast<double>(next_ - start_) / static_cast<double>(end_ - start_) * 100.0;
    position = static_cast<int>(std::clamp(std::nearbyint(share), 0.0, 100.0));
  }
  if (position != lastProgress_) {
    lastProgress_ = position;
    host_.SetProgress(position);
  }
}

void ScanPass::refill() {
  fill_ = in_.read(buf_, kBlockSize);
  cur_ = 0;
  if (pacer_.due()) {
    showProgress();
    host_.ProcessEvents();
  }
}

void ScanPass::walk() {
  const Carver::Trigger trig = carver_.trigger();
  while (next_ < end_) {
    if (empty_) {
      fill_ = in_.read(buf_, kBlockSize);
      cur_ = 0;
      empty_ = false;
    }
    if (fill_ == 0) return;  // the input shrank under us
    if (!host_.Running()) {
      ++next_;
      return;
    }
    // Skip to the next byte that can begin a trigger. The bytes passed over
    // are examined bytes that cannot match.
    int64_t limit = std::min(fill_, cur_ + (end_ - next_));
    const void* hit = std::memchr(buf_ + cur_, trig.first, limit - cur_);
    if (hit == nullptr) {
      next_ += limit - cur_;
      cur_ = limit;
      if (cur_ < fill_) return;  // the window ends inside this block
      if (in_.eof()) return;     // the examined byte was the input's last
      refill();
      if (fill_ == 0) return;
      if (!host_.Running()) return;
      continue;
    }
    int64_t k = static_cast<const unsigned char*>(hit) - buf_;
    next_ += k - cur_ + 1;
    cur_ = k + 1;
    if (cur_ == fill_) {
      if (in_.eof()) return;  // no byte follows: the examined byte is not tested
      refill();
      if (fill_ == 0) return;
    }
    if (!host_.Running()) return;
    if ((buf_[cur_] & trig.mask) != trig.value) continue;

    // Probe the candidate at next - 1.
    int64_t saved = in_.position();
    int64_t candidate = next_ - 1;
    in_.seek(candidate);
    if (pacer_.due()) host_.ProcessEvents();
    CopySpan span{candidate, 0};
    ProbeResult result = carver_.probe(in_, candidate, span);
    if (result == ProbeResult::EndPass) return;
    if (result == ProbeResult::Reject) {
      in_.seek(saved);
      if (carver_.progressPerProbe()) showProgress();
      continue;
    }
    ++found_;
    host_.AddLog(carver_.streamLine(found_, candidate));
    if (!produce(span)) {
      aborted_ = true;
      return;
    }
  }
}

bool ScanPass::produce(const CopySpan& measured) {
  CopySpan span = measured;
  File out;
  try {
    bool hasDir = false;
    std::string dir = PatternDirectory(pattern_, hasDir);
    if (hasDir && !dir.empty() && !DirectoryExists(dir)) CreateDir(dir);
    carver_.settleRange(found_, span);
    std::string name = carver_.outputName(pattern_, input_, found_);
    if (in_.isSameFileAs(name) || (host_.RunInputs() && host_.RunInputs()->contains(name)))
      throw IoError(kIoSameAsInput, "出力ファイルが入力ファイルと同じです", name);
    // The stream appears under its name only once it is whole; a failure
    // below leaves the name as it was.
    out = File::CreateOutput(name);
    CopyRange(in_, span.start, span.length, out);
    carver_.afterCopy(out, found_);
    // Committing flushes the output; a full disk shows here and fails this
    // stream rather than passing for success.
    out.commit();
    ++written_;
    next_ = in_.position();
    empty_ = true;
    if (carver_.progressPerProbe()) showProgress();
    return true;
  } catch (const IoError& e) {
    out.discard();
    host_.AddLog(std::string("* ") + e.what());
    host_.FailureConcerns(e.path());
    BoxAnswer answer = host_.MessageBox(BoxType::Error,
                                        std::string(e.what()) + "\n" + std::to_string(found_) +
                                            "番目のファイルの処理中にエラーが起こりました",
                                        BoxButtons::AbortIgnore, e.code());
    if (answer != BoxAnswer::Ignore) {
      // Abort, or the box closed without a button.
      in_.closeQuietly();
      return false;
    }
    next_ = span.start + span.length;
    in_.seek(next_);
    empty_ = true;
    return true;
  }
}

}  // namespace

std::string PatternDirectory(const std::string& pattern, bool& found) {
  auto slash = pattern.find_last_of('/');
  found = slash != std::string::npos;
  if (!found) return std::string();
  std::string dir = pattern.substr(0, slash);
  // A directory part whose every '%' is doubled is plain text (the default
  // pattern below a folder with '%' in its name): it names the directory
  // the outputs go to. Any other is taken as typed.
  std::string plain;
  for (size_t i = 0; i < dir.size(); ++i) {
    if (dir[i] == '%') {
      if (i + 1 >= dir.size() || dir[i + 1] != '%') return dir;
      ++i;
    }
    plain += dir[i];
  }
  return plain;
}

int64_t RunScanPass(Host& host, Carver& carver, const std::string& input,
                    const std::string& pattern) {
  ScanPass pass(host, carver, input, pattern);
  return pass.run();
}
