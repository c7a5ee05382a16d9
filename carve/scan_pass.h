// The scan pass shared by the carvers: existence test, scan window, the
// byte walk in 512-byte blocks over one large read buffer with its trigger
// test, the probe protocol, producing a stream (directory, range, name,
// output, copy), the failure handling at its three levels, progress and the
// summary line. One pass can walk several carvers over one read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "carve/host.h"
#include "carve/trigger_search.h"

class InputFile;
class OutputFile;

// The size of the buffer a scan pass reads its input into.
inline constexpr int64_t kScanBufferSize = 1024 * 1024;

// The byte range of one stream to copy.
struct CopySpan {
  int64_t start = 0;
  int64_t length = 0;
};

enum class ProbeResult { Reject, Accept, EndPass };

// What a carver measured of its last accepted stream; negative: not measured.
struct StreamFacts {
  int64_t frames = -1;
  int64_t bitrateKbps = -1, sampleRateHz = -1;
  double seconds = -1;
  int64_t appendedBytes = 0;  // what afterCopy() appends to the output
  int64_t channels = -1;
};

// What a carver puts into the scan pass.
class Carver {
 public:
  // The trigger: examined byte == first and (next byte & mask) == value.
  using Trigger = TwoByteTrigger;

  virtual ~Carver() = default;
  virtual Trigger trigger() const = 0;
  // Text after the quoted input name in the opening line.
  virtual const char* openingText() const = 0;
  // The format's kind name ("mp3", "ogg", "wav"...), for the summary line
  // and the reports.
  virtual const char* kindName() const = 0;
  // MP3 and Ogg show progress after a rejected probe and after a stream is
  // written; WAVE shows it once when the walk ends.
  virtual bool progressPerProbe() const { return true; }

  // Probes the candidate; the input is positioned at it. On Accept, `span`
  // holds the measured range.
  virtual ProbeResult probe(InputFile& input, int64_t candidate, CopySpan& span) = 0;
  // True when the candidate's first `avail` bytes, as the walk's buffer
  // holds them, show that probe() would reject it and change nothing else
  // on the way (not even what a later probe remembers); false when they do
  // not tell. Most triggers in data that is not of the format fail at their
  // first header or the one after it: those the walk passes over without a
  // probe.
  virtual bool ruledOut(const uint8_t* /*bytes*/, int64_t /*avail*/) { return false; }
  // True for a carver whose streams may end before their candidates, so
  // that its lane, and the walk's position, may go back. The walk then makes
  // every probe a candidate asks for, also where it would show nothing new.
  virtual bool mayEndBeforeCandidate() const { return false; }
  // The stream line for the accepted stream `number` at `candidate`.
  virtual std::string streamLine(int64_t number, int64_t candidate) = 0;
  // Widens the range (MP3 tags) once the output directory exists.
  virtual void settleRange(int64_t /*number*/, CopySpan& /*span*/) {}
  virtual std::string outputName(const std::string& pattern, const std::string& input,
                                 int64_t number) = 0;
  // Appends to the output after the copy (MP3: a new ID3v1 tag).
  virtual void afterCopy(OutputFile& /*output*/, int64_t /*number*/) {}
  // The measurements of the stream accepted last; appendedBytes is known
  // once its range is settled.
  virtual StreamFacts facts() const { return {}; }
};

// Runs one scan pass; returns the number of streams written.
int64_t RunScanPass(Host& host, Carver& carver, const std::string& input,
                    const std::string& pattern);

// Runs the passes of several carvers over one read of the input. Each carver
// walks on its own, exactly as in its own pass: a stream it accepts is
// skipped by it alone. Their opening lines come first, then the stream lines
// of all of them in order of offset, then their summary lines. Returns the
// number of streams written by all of them.
int64_t RunScanPasses(Host& host, const std::vector<Carver*>& carvers, const std::string& input,
                      const std::string& pattern);

// Copies `length` bytes of `input` from `start` to the end of `output` and
// leaves the input just past the copied range, or at its end when it ends
// first (a short input is not a failure).
void CopyRange(InputFile& input, int64_t start, int64_t length, OutputFile& output);

// The directory part of a pattern: the text before its last '/' (read with
// "%%" as '%' when every '%' in it is doubled); `found` is false when it has
// none.
std::string PatternDirectory(const std::string& pattern, bool& found);
