// zandrel-cli end to end: the commands run in-process on string streams, and
// a few through the built program for its real exit statuses.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "carve/engine/extract.h"
#include "carve/formats/common/little_endian.h"
#include "cli/cli_run.h"
#include "output/naming.h"
#include "platform/folders.h"
#include "platform/input_file.h"
#include "platform/text_file.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

using Args = std::vector<std::string>;

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result Cli(const Args& args, const CliTerminal& terminal = {}) {
  std::ostringstream out, err;
  int status = RunCliCommand(args, out, err, terminal);
  return {status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The names of the files in `dir`, sorted; none when it does not exist.
std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string CrcText(const Bytes& bytes) {
  char text[9];
  std::snprintf(text, sizeof text, "%08lX",
                crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
  return text;
}

// One kind of MPEG audio frame: header bytes 2 to 4 (after 0xFF) and the
// frame length they give.
struct FrameKind {
  uint8_t b1, b2, b3;
  size_t length;
};
// MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo, no CRC:
// 144 * 128000 / 44100 = 417 bytes.
constexpr FrameKind kBase{0xFB, 0x90, 0x64, 417};
// The same at 48000 Hz: 144 * 128000 / 48000 = 384 bytes.
constexpr FrameKind k48kHz{0xFB, 0x94, 0x64, 384};
// The same in plain stereo.
constexpr FrameKind kStereo{0xFB, 0x90, 0x04, 417};
// The same with a CRC after the header (the length does not change).
constexpr FrameKind kCrc{0xFA, 0x90, 0x64, 417};
// MPEG-2 Layer III, 80 kbit/s, 22050 Hz: 72 * 80000 / 22050 = 261 bytes.
constexpr FrameKind kMpeg2{0xF3, 0x90, 0x64, 261};

Bytes Frames(const FrameKind& kind, int count) {
  Bytes frames;
  for (int i = 0; i < count; ++i) {
    Bytes frame(kind.length, 0);
    frame[0] = 0xFF;
    frame[1] = kind.b1;
    frame[2] = kind.b2;
    frame[3] = kind.b3;
    Append(frames, frame);
  }
  return frames;
}

// Random bytes (with no trigger in them), `part`, random bytes.
Bytes Embed(const Bytes& part, uint32_t seed, int64_t* at = nullptr) {
  Bytes bytes = RandomBytes(3000 + seed % 500, seed);
  int64_t offset = Append(bytes, part);
  if (at != nullptr) *at = offset;
  Append(bytes, RandomBytes(2000, seed + 1));
  return bytes;
}

// The log lines the engine gives for `input` with the window's defaults
// (but `minFrames`), written to a folder of their own.
std::vector<std::string> EngineLog(const std::string& input, const std::string& pattern,
                                   int64_t (*pass)(Host&, const std::string&,
                                                   const std::string&) = ExtractMp3,
                                   int minFrames = 4) {
  ScriptHost host;
  host.minFrames = minFrames;
  pass(host, input, pattern);
  return host.log;
}

std::string FromBase64(const std::string& text) {
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    bits = bits << 6 | static_cast<uint32_t>(digits.find(c));
    if ((count += 6) >= 8) bytes += static_cast<char>(bits >> (count -= 8) & 0xFF);
  }
  return bytes;
}

class CliRun : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    std::string path = dir / name;
    WriteBytes(path, bytes);
    inputs_.push_back({path, bytes});
    return path;
  }
  void TearDown() override {
    for (const auto& [path, bytes] : inputs_) EXPECT_EQ(ReadBytes(path), bytes) << path;
  }
  std::string Out() const { return dir / "out/%3.3d.mp3"; }

  TempDir dir;

 private:
  // Every input must be byte-identical after a run.
  std::vector<std::pair<std::string, Bytes>> inputs_;
};

TEST_F(CliRun, AnEmbeddedStreamIsFoundWrittenAndLoggedAsTheWindowLogsIt) {
  Bytes stream = Fixture("mpeg1_cbr128.mp3");
  int64_t at = 0;
  std::string in = Write("in.bin", Embed(stream, 11, &at));

  Result r = Cli({"-o", Out(), in});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");  // no progress: the error stream is no terminal
  EXPECT_EQ(Lines(r.out), EngineLog(in, dir / "engine/%3.3d.mp3"));
  ASSERT_EQ(Lines(r.out).size(), 3u);
  char range[16];
  std::snprintf(range, sizeof range, "[001($%08llX-", static_cast<long long>(at));
  EXPECT_TRUE(Lines(r.out)[1].starts_with(range)) << Lines(r.out)[1];
  EXPECT_EQ(FilesIn(dir / "out"), Args{"001.mp3"});
  EXPECT_EQ(ReadBytes(dir / "out/001.mp3"), stream);
}

// Names a stream cannot be written under: the stream fails with a message
// that names the file, without blocking, and the next one is written.
TEST_F(CliRun, AnOutputThatIsNoRegularFileFailsThatStreamOnly) {
  const Bytes first = Frames(kBase, 5), second = Frames(kBase, 6);
  Bytes two = first;
  Append(two, RandomBytes(700, 13));
  Append(two, second);
  const std::string in = Write("in.bin", Embed(two, 14));
  const std::string name = dir / "out/001.mp3";
  struct Case {
    const char* what;
    std::string target;   // made a FIFO (a file where the stream is written); `name`
                          // links to it unless it is `name`
    std::string message;  // empty: the stream is written
  };
  // A link to a FIFO is no file to replace either; the FIFO is left as it was.
  const Case cases[] = {{"fifo", name, "Not a regular file"},
                        {"link to a fifo", dir / "pipe", "Not a regular file"},
                        {"link to a file: replaced", dir / "pipe", ""},
                        {"directory", name, "File access denied"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir / "out");
    std::filesystem::remove(dir / "pipe");
    std::filesystem::create_directory(dir / "out");
    if (std::string(c.what) == "directory") {
      std::filesystem::create_directory(name);
    } else if (c.message.empty()) {
      WriteBytes(c.target, {7});
      std::filesystem::create_symlink(c.target, name);
    } else {
      ASSERT_EQ(::mkfifo(c.target.c_str(), 0600), 0);
      if (c.target != name) std::filesystem::create_symlink(c.target, name);
    }
    Result r = Cli({"-o", Out(), in});
    EXPECT_EQ(ReadBytes(dir / "out/002.mp3"), second);
    if (c.message.empty()) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_FALSE(std::filesystem::is_symlink(name));
      EXPECT_EQ(ReadBytes(name), first);
      EXPECT_EQ(ReadBytes(c.target), Bytes{7});
      continue;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, name + ": " + c.message + "\n1番目")) << r.err;
    EXPECT_FALSE(std::filesystem::is_regular_file(name));
    EXPECT_EQ(std::filesystem::is_symlink(name), c.target != name);
  }
}

// Earlier outputs scanned again, through their own names or another path:
// no output is written over any input of the run.
TEST_F(CliRun, RescanningEarlierOutputsLeavesEveryInputAsItWas) {
  Bytes two = Frames(kBase, 5);
  Append(two, RandomBytes(700, 15));
  Append(two, Frames(kBase, 6));
  const std::string in = Write("in.bin", Embed(two, 16));
  ASSERT_EQ(Cli({"-o", Out(), in}).status, 0);
  const Bytes first = ReadBytes(dir / "out/001.mp3"), second = ReadBytes(dir / "out/002.mp3");
  std::filesystem::create_directory_symlink(dir / "out", dir / "link");
  for (const std::string& pattern : {Out(), dir / "link/%3.3d.mp3"}) {
    SCOPED_TRACE(pattern);
    Result r = Cli({"-o", pattern, dir / "out/001.mp3", dir / "out/002.mp3"});
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> log = Lines(r.out);
    EXPECT_EQ(std::count(log.begin(), log.end(), "* 出力ファイルが入力ファイルと同じです"), 2);
    EXPECT_EQ(ReadBytes(dir / "out/001.mp3"), first);
    EXPECT_EQ(ReadBytes(dir / "out/002.mp3"), second);
    EXPECT_EQ(FilesIn(dir / "out"), (Args{"001.mp3", "002.mp3"}));
  }
}

// What the command line says on the error stream about its own inputs and
// options; the log on the output stream stays as it was.
TEST_F(CliRun, MessagesNameWhatTheyConcern) {
  const std::string in = Write("in.bin", Embed(Frames(kBase, 5), 17));
  const std::string fifo = dir / "fifo.ini", huge = dir / "huge.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::resize_file((WriteBytes(huge, {}), huge), kMaxTextFileSize + 1);
  const std::string warning = "zandrel-cli: warning: cannot read the tag INI file ";
  // Names that would write a stream line of their own, or steer a terminal.
  const std::string forged = "\n[999($00000000-$00FFFFFF)] mpeg1.0layer3",
                    shown = "\\n[999($00000000-$00FFFFFF)] mpeg1.0layer3";
  Bytes two = Embed(Frames(kBase, 5), 18);
  Append(two, Embed(Frames(kBase, 5), 19));
  const std::string twice = Write("in" + forged, two);
  struct Case {
    Args args;
    int status;
    std::string err;  // a part of what it prints
  };
  const Case cases[] = {
      {{"--tag-ini", dir / "no.ini", "-o", Out(), in}, 0, warning + dir / "no.ini: File not found"},
      {{"--tag-ini", fifo, "-o", Out(), in}, 0, warning + fifo + ": Not a regular file"},
      {{"--tag-ini", huge, "-o", Out(), in}, 0, warning + huge + ": File too large"},
      {{"-o", "", in}, 2, "zandrel-cli: option -o needs a non-empty pattern\n"},
      {{"--output=", in}, 2, "zandrel-cli: option --output needs a non-empty pattern\n"},
      {{"-o", dir / "a/b/%d.mp3", in}, 1, dir / "a/b: Path not found\n1番目"},
      {{"crc", dir / "gone.bin"}, 1, dir / "gone.bin: File not found\n"},
      {{"-o", Out(), dir / ("gone" + forged)}, 1, "(" + dir / ("gone" + shown + ")\n")},
      {{"-o", dir / "a\x1b[2J\x7f/b/%d.mp3", in}, 1, dir / "a\\x1B[2J\\x7F/b: Path not found\n"},
      {{"crc", dir / ("gone\r\t" + forged)}, 1, dir / ("gone\\r\\t" + shown + ": File not")},
      {{"-o", dir / ("o" + forged + ".mp3"), twice}, 0, dir / ("in" + shown + "\"から")},
      {{"-o", dir / ("o" + forged + ".mp3"), twice}, 0, shown + ".mp3 → " + dir / ("o" + shown)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    std::filesystem::remove_all(dir / "out");
    Result r = Cli(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(Contains(r.out + r.err, c.err)) << r.out << r.err;
    if (c.status == 0 && c.args.back() == in) {
      EXPECT_EQ(Lines(r.out), EngineLog(in, dir / "engine/%3.3d.mp3"));
    }
    for (const std::string& line : Lines(r.out + r.err)) EXPECT_FALSE(line.starts_with("[999"));
  }
}

TEST_F(CliRun, ExplicitCommandWordsRunTheirPass) {
  std::string in = Write("in.bin", Embed(Frames(kBase, 6), 12));
  Result r = Cli({"mp3", "-o", Out(), in});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(FilesIn(dir / "out"), Args{"001.mp3"});
}

TEST_F(CliRun, FramesAboveTheRunsCountRejectIt) {
  std::string in = Write("in.bin", Embed(Frames(kBase, 10), 13));

  Result atCount = Cli({"--frames", "10", "-o", Out(), in});
  EXPECT_EQ(atCount.status, 0);
  EXPECT_EQ(FilesIn(dir / "out"), Args{"001.mp3"});

  std::filesystem::remove_all(dir / "out");
  Result above = Cli({"--frames", "11", "-o", Out(), in});
  EXPECT_EQ(above.status, 0);
  EXPECT_EQ(Lines(above.out).back(), "Not Found (T-T)");
  EXPECT_TRUE(FilesIn(dir / "out").empty());
}

TEST_F(CliRun, RangeScansOnlyItsShareOfTheInput) {
  // One stream near the start, one in the second half.
  Bytes first = Frames(kBase, 10), second = Frames(k48kHz, 10);
  Bytes bytes = RandomBytes(2000, 21);
  Append(bytes, first);
  Append(bytes, RandomBytes(8000, 22));
  Append(bytes, second);
  Append(bytes, RandomBytes(2000, 23));
  std::string in = Write("in.bin", bytes);

  Result upper = Cli({"--range", "50", "100", "-o", Out(), in});
  EXPECT_EQ(upper.status, 0);
  EXPECT_EQ(FilesIn(dir / "out"), Args{"001.mp3"});
  EXPECT_EQ(ReadBytes(dir / "out/001.mp3"), second);

  Result lower = Cli({"--range", "0", "50", "-o", dir / "low/%3.3d.mp3", in});
  EXPECT_EQ(lower.status, 0);
  EXPECT_EQ(FilesIn(dir / "low"), Args{"001.mp3"});
  EXPECT_EQ(ReadBytes(dir / "low/001.mp3"), first);

  // A range with nothing in it is a usage error, which scans nothing.
  Result empty = Cli({"--range", "60", "40", "-o", dir / "none/%3.3d.mp3", in});
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir / "none"));
}

struct BreakCase {
  const char* name;
  FrameKind second;
  Args mergeOptions;  // the options that let the change not end the stream
  Args splitOptions;  // options that still leave it ending there
};

class CliBreak : public CliRun, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(CliBreak, AChangeHalfwayEndsTheStreamUnlessItsOptionIsGiven) {
  const BreakCase& c = GetParam();
  Bytes run = Frames(kBase, 6);
  Bytes rest = Frames(c.second, 6);
  Append(run, rest);
  std::string in = Write("in.bin", Embed(run, 31));

  Args split = c.splitOptions;
  split.insert(split.end(), {"-o", Out(), in});
  Result r = Cli(split);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(FilesIn(dir / "out"), (Args{"001.mp3", "002.mp3"}));
  EXPECT_EQ(ReadBytes(dir / "out/002.mp3"), rest);

  Args merge = c.mergeOptions;
  merge.insert(merge.end(), {"-o", dir / "one/%3.3d.mp3", in});
  Result m = Cli(merge);
  EXPECT_EQ(m.status, 0);
  EXPECT_EQ(FilesIn(dir / "one"), Args{"001.mp3"});
  EXPECT_EQ(ReadBytes(dir / "one/001.mp3"), run);
  EXPECT_TRUE(Contains(m.out, "    12Frames")) << m.out;
}

INSTANTIATE_TEST_SUITE_P(
    EachChange, CliBreak,
    ::testing::Values(BreakCase{"Freq", k48kHz, {"--no-freq-break"}, {}},
                      BreakCase{"Channel", kStereo, {"--no-channel-break"}, {"--no-freq-break"}},
                      BreakCase{"Crc", kCrc, {"--no-crc-break"}, {"--no-channel-break"}},
                      // MPEG-2 has other sample rates, so the version test lets those pass.
                      BreakCase{"Version",
                                kMpeg2,
                                {"--no-freq-break", "--no-version-break"},
                                {"--no-freq-break"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliRun, Id3TagsAreCopiedUnlessTheirOptionSaysNo) {
  Bytes tagged = Fixture("mpeg1_id3.mp3");
  ASSERT_TRUE(tagged.size() > 266 && tagged[0] == 'I' && tagged[1] == 'D' && tagged[2] == '3');
  int64_t v2 = 10 + (tagged[6] << 21 | tagged[7] << 14 | tagged[8] << 7 | tagged[9]);
  int64_t v1 = 128;
  ASSERT_EQ(std::string(tagged.end() - v1, tagged.end() - v1 + 3), "TAG");
  std::string in = Write("in.bin", Embed(tagged, 41));
  const int64_t size = static_cast<int64_t>(tagged.size());

  struct Case {
    Args options;
    int64_t start, length;
  };
  const Case cases[] = {
      {{}, 0, size},
      {{"--no-id3v1"}, 0, size - v1},
      {{"--no-id3v2"}, v2, size - v2},
      {{"--no-id3v2", "--no-id3v1"}, v2, size - v2 - v1},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string folder = dir / ("out" + std::to_string(n++));
    Args args = c.options;
    args.insert(args.end(), {"-o", folder + "/%3.3d.mp3", in});
    Result r = Cli(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadBytes(folder + "/001.mp3"), Slice(tagged, c.start, c.length))
        << testing::PrintToString(c.options);
  }
}

TEST_F(CliRun, AMissingInputIsReportedAndTheOthersAreStillScanned) {
  std::string a = Write("a.bin", Embed(Frames(kBase, 5), 51));
  std::string b = Write("b.bin", Embed(Frames(kBase, 5), 52));
  std::string missing = dir / "missing.bin";

  Result r = Cli({"-o", dir / "out/%f-%3.3d.mp3", a, missing, b});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "入力ファイルが存在しません(" + missing + ")\n");
  std::vector<std::string> expected = EngineLog(a, dir / "e/%3.3d.mp3");
  std::vector<std::string> second = EngineLog(b, dir / "e/%3.3d.mp3");
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(Lines(r.out), expected);
  EXPECT_EQ(FilesIn(dir / "out"), (Args{"a.bin-001.mp3", "b.bin-001.mp3"}));
}

TEST_F(CliRun, AFailedStreamIsIgnoredByDefaultOrAbortsThatInputsPass) {
  Bytes two = Frames(kBase, 5);
  Append(two, RandomBytes(700, 61));
  Append(two, Frames(kBase, 5));
  std::string a = Write("a.bin", Embed(two, 62));
  std::string b = Write("b.bin", Embed(Frames(kBase, 5), 63));
  // Two levels below a missing folder: the output folder cannot be made.
  std::string pattern = dir / "missing/deeper/%3.3d.mp3";

  Result ignore = Cli({"-o", pattern, a, b});
  EXPECT_EQ(ignore.status, 1);
  std::vector<std::string> log = Lines(ignore.out);
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](auto& l) { return l.starts_with("* "); }), 3);
  EXPECT_EQ(std::count(log.begin(), log.end(), "2個のmp3を発見。うち0個を抽出しました"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "1個のmp3を発見。うち0個を抽出しました"), 1);
  EXPECT_TRUE(Contains(ignore.err, "\n2番目のファイルの処理中にエラーが起こりました\n"));

  Result abort = Cli({"--abort-on-error", "-o", pattern, a, b});
  EXPECT_EQ(abort.status, 1);
  log = Lines(abort.out);
  // Each input: its opening line, the first stream, its failure and no
  // summary; b.bin is still scanned after a.bin's pass was aborted.
  ASSERT_EQ(log.size(), 6u) << abort.out;
  EXPECT_TRUE(log[0].starts_with("\"" + a + "\""));
  EXPECT_TRUE(log[1].starts_with("[001("));
  EXPECT_TRUE(log[2].starts_with("* "));
  EXPECT_TRUE(log[3].starts_with("\"" + b + "\""));
  EXPECT_TRUE(log[4].starts_with("[001("));
  EXPECT_TRUE(log[5].starts_with("* "));
  EXPECT_FALSE(Contains(abort.err, "2番目"));
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST_F(CliRun, JsonLinesDescribeEveryPassAndStream) {
  Bytes first = Frames(kBase, 6), second = Frames(k48kHz, 5);
  Bytes bytes = RandomBytes(1500, 121);
  int64_t firstAt = Append(bytes, first);
  Append(bytes, RandomBytes(700, 122));
  int64_t secondAt = Append(bytes, second);
  Append(bytes, RandomBytes(900, 123));
  // A name that is not UTF-8 is written as its bytes.
  std::string in = Write("in\xff.bin", bytes);
  std::string missing = dir / "missing.bin";

  Result r = Cli({"--json", "-o", dir / "out/%f-%3.3d.mp3", in, missing});
  EXPECT_EQ(r.status, 1);
  std::vector<nlohmann::json> lines;
  for (const std::string& line : Lines(r.out)) {
    ASSERT_TRUE(nlohmann::json::accept(line)) << line;
    lines.push_back(nlohmann::json::parse(line));
  }
  ASSERT_EQ(lines.size(), 5u) << r.out;
  ASSERT_TRUE(lines[0]["input"].is_object()) << lines[0];
  EXPECT_EQ(FromBase64(lines[0]["input"]["bytes"]), in);
  EXPECT_EQ(lines[0],
            nlohmann::json({{"type", "begin"}, {"input", lines[0]["input"]}, {"format", "mp3"}}));
  const int64_t at[] = {firstAt, secondAt};
  const Bytes* streams[] = {&first, &second};
  for (int i = 0; i < 2; ++i) {
    const nlohmann::json& s = lines[1 + i];
    EXPECT_EQ(s["type"], "stream");
    EXPECT_EQ(s["input"], lines[0]["input"]);
    EXPECT_EQ(s["format"], "mp3");
    EXPECT_EQ(s["number"], i + 1);
    EXPECT_EQ(s["offset"], at[i]);
    EXPECT_EQ(s["length"], streams[i]->size());
    EXPECT_EQ(s["frames"], i == 0 ? 6 : 5);
    EXPECT_EQ(s["sample_rate_hz"], i == 0 ? 44100 : 48000);
    EXPECT_EQ(s["bitrate_kbps"], 128);
    EXPECT_GT(s["seconds"].get<double>(), 0.1);
    EXPECT_EQ(s["status"], "written");
    EXPECT_FALSE(s.contains("appended_tag"));
    // The output, named after the input, holds exactly the input's bytes
    // in its output range.
    std::string output = FromBase64(s["output"]["bytes"]);
    EXPECT_EQ(output, dir / ("out/in\xff.bin-00" + std::to_string(i + 1) + ".mp3"));
    EXPECT_EQ(ReadBytes(output),
              Slice(bytes, s["output_offset"].get<int64_t>(), s["output_length"].get<int64_t>()))
        << s;
    EXPECT_EQ(ReadBytes(output), *streams[i]);
  }
  EXPECT_EQ(lines[3], nlohmann::json({{"type", "end"},
                                      {"input", lines[0]["input"]},
                                      {"format", "mp3"},
                                      {"found", 2},
                                      {"written", 2}}));
  EXPECT_EQ(lines[4], nlohmann::json({{"type", "error"},
                                      {"input", missing},
                                      {"error", "入力ファイルが存在しません(" + missing + ")"}}));
  EXPECT_EQ(r.err, "入力ファイルが存在しません(" + missing + ")\n");

  // Again: a dry run reports the same ranges; under --no-clobber the names
  // are taken now, and both streams fail.
  for (std::string option : {"-n", "--no-clobber"}) {
    Result again = Cli({"--json", option, "-o", dir / "out/%f-%3.3d.mp3", in});
    std::vector<std::string> more = Lines(again.out);
    ASSERT_EQ(more.size(), 4u) << again.out;
    for (size_t i : {1, 2}) {
      nlohmann::json s = nlohmann::json::parse(more[i]), written = lines[i];
      EXPECT_EQ(s["output"], written["output"]);
      if (option == "-n") {
        EXPECT_EQ(s["status"], "dry-run");
        EXPECT_EQ(s["output_length"], written["output_length"]);
      } else {
        EXPECT_EQ(s["status"], "failed");
        EXPECT_TRUE(s["error"].is_object() && !s.contains("output_length")) << s;
      }
    }
  }

  // The same input twice under a pattern without %f: the second pass's
  // streams go beside the first's, and say which name they were given
  // first; no other stream says so.
  for (std::string option : {"-n", "--quiet"}) {
    Result twice = Cli({"--json", option, "-o", dir / "two/%3.3d.mp3", in, in});
    std::vector<std::string> more = Lines(twice.out);
    ASSERT_EQ(more.size(), 8u) << twice.out;
    for (size_t i : {1, 2, 5, 6}) {
      nlohmann::json s = nlohmann::json::parse(more[i]);
      const std::string name = dir / ("two/00" + std::to_string(i % 4) + ".mp3");
      EXPECT_EQ(s.contains("renamed_from"), i > 4) << s;
      EXPECT_EQ(s["output"], i < 4 ? name : NameBeside(name, 2)) << s;
      if (i < 4) continue;
      EXPECT_EQ(s["renamed_from"], name) << s;
      if (option == "--quiet") {
        EXPECT_EQ(ReadBytes(s["output"]), *streams[i - 5]);
      }
    }
  }

  // WAVE gives the rate and the bit rate of its format chunk, and its length:
  // the bytes of its data chunk over the average bytes a second.
  Bytes wave = Fixture("wave_s16_stereo.wav");
  std::string w = Write("w.bin", Embed(wave, 124));
  nlohmann::json ws = nlohmann::json::parse(Lines(Cli({"wav", "--json", "-n", w}).out).at(1));
  EXPECT_EQ(ws["format"], "wav");
  EXPECT_EQ(ws["sample_rate_hz"], wave[24] | wave[25] << 8 | wave[26] << 16);
  EXPECT_EQ(ws["bitrate_kbps"], (wave[28] | wave[29] << 8 | wave[30] << 16) * 8 / 1000);
  EXPECT_FALSE(ws.contains("frames")) << ws;
  EXPECT_DOUBLE_EQ(ws["seconds"].get<double>(), 8820.0 / 88200.0) << ws;
}

// Whatever the command: one error object per missing input (not one per
// format of the run), and the length of each stream as its log line shows it
// or, where the line shows none, as the codec's last granule position gives it.
TEST_F(CliRun, JsonErrorsAndLengthsAreThoseOfTheLog) {
  const std::string missing[] = {dir / "gone1.bin", dir / "gone2.bin"};
  for (const char* command : {"mp3", "ogg", "all"}) {
    SCOPED_TRACE(command);
    Result r = Cli({command, "--json", "-n", missing[0], missing[1]});
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> errors;
    for (const std::string& line : Lines(r.out)) {
      nlohmann::json j = nlohmann::json::parse(line);
      if (j["type"] == "error") errors.push_back(j["input"]);
    }
    EXPECT_EQ(errors, (Args{missing[0], missing[1]})) << r.out;
  }

  Bytes bytes = RandomBytes(400, 131);
  Append(bytes, Fixture("vorbis_mono.ogg"));
  Append(bytes, RandomBytes(300, 132));
  std::string in = Write("o.bin", bytes);
  struct Case {
    Args options;
    const char* shown;  // the length at the end of the stream line
    const char* json;   // the length in its JSON
  } cases[] = {{{"ogg", "--frames", "2"}, "0.0sec", "0.3sec"},
               {{"ogg", "--ogg-whole"}, "0.3sec", "0.3sec"},
               {{"all", "--ogg-whole"}, "0.3sec", "0.3sec"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[1]);
    Args args = c.options;
    args.insert(args.end(), {"-n", in});
    std::vector<std::string> log = Lines(Cli(args).out);
    auto line =
        std::find_if(log.begin(), log.end(), [](auto& l) { return Contains(l, "OggVorbis"); });
    ASSERT_NE(line, log.end());
    EXPECT_TRUE(line->ends_with(c.shown)) << *line;
    args.insert(args.begin() + 1, "--json");
    int streams = 0;
    for (const std::string& text : Lines(Cli(args).out)) {
      nlohmann::json j = nlohmann::json::parse(text);
      if (j["type"] != "stream" || j["format"] != "ogg") continue;
      ++streams;
      char shown[32];
      std::snprintf(shown, sizeof shown, "%.1fsec", j["seconds"].get<double>());
      EXPECT_EQ(shown, std::string(c.json)) << j;
    }
    EXPECT_EQ(streams, 1);
  }
}

// A stream that claims more than the input holds (it ends the input, cut
// short) is marked "truncated": true; a whole one has no such key.
TEST_F(CliRun, JsonLinesMarkAStreamCutShort) {
  const std::tuple<const char*, const char*, size_t> rows[] = {
      // bytes cut off its end
      {"awb", "awb_wave_members.awb", 0}, {"awb", "awb_wave_members.awb", 11148},
      {"fsb", "fsb5_pcm16_names.fsb", 0}, {"fsb", "fsb5_pcm16_names.fsb", 1204},
      {"hca", "hca_v2_mono_22k.hca", 9},  {"flac", "flac_16_stereo_44k.flac", 100},
      {"adx", "adx_mono_44k.adx", 100},   {"aiff", "aiff_sox_16_stereo_22k.aiff", 100},
      {"mp3", "mpeg1_cbr128.mp3", 0}};
  for (const auto& [command, fixture, cut] : rows) {
    const Bytes f = Fixture(fixture);
    Bytes bytes = RandomBytes(300, 141);
    Append(bytes, Slice(f, 0, static_cast<int64_t>(f.size() - cut)));
    const std::string in = Write(fixture + std::to_string(cut), bytes);
    const auto lines = Lines(Cli({command, "--json", "--frames", "2", "-n", in}).out);
    ASSERT_EQ(lines.size(), 3u) << fixture;
    const nlohmann::json j = nlohmann::json::parse(lines[1]);
    EXPECT_EQ(j.value("truncated", false), cut > 0) << j;
    EXPECT_EQ(j.contains("truncated"), cut > 0) << j;
  }
}

// --members: every member of a bank as a file of its own, each named by its
// index and its name made safe, and a JSON Lines object each; nothing of it
// without the option.
TEST_F(CliRun, MembersOfBanksAreWrittenBesideTheBankOnlyWhenAsked) {
  Bytes fsb = Fixture("fsb5_pcm16_names.fsb");
  // The second name, "tone660" in the name table after the sample headers,
  // made hostile: a climb out of the folder and a control byte.
  const size_t names = 0x3C + 24 + 12 + 8;
  ASSERT_EQ(std::string(fsb.begin() + names, fsb.begin() + names + 7), "tone660");
  const std::string hostile =
      "../a/\x01"
      "b";
  std::copy(hostile.begin(), hostile.end(), fsb.begin() + names);
  const struct {
    const char* command;
    Bytes bank;
    std::vector<std::string> files;  // in the bank's folder
    std::vector<std::string> codecs;
  } rows[] = {
      {"fsb",
       fsb,
       {"000_tone440.wav", "001__._a__b.wav", "002_tone880.wav"},
       {"pcm16", "pcm16", "pcm16"}},
      {"fsb", Fixture("fsb4_gcadpcm_stereo.fsb"), {"000_stereo330.brstm"}, {"dsp"}},
      {"awb",
       Fixture("awb_wave_members.awb"),
       {"000.wav", "001.wav", "002.wav"},
       {"wav", "wav", "wav"}},
      {"wwise", Fixture("wwise_bank_big_endian.bnk"), {"000.wem", "001.wem"}, {"wem", "wem"}},
      {"pck",
       Fixture("wwise_package_externals.pck"),
       {"000_1355168291.bnk", "001_3991942870_english(us).bnk", "002_100.wem",
        "003_100_english(us).wem", "004_4000000000.wem", "005_78187493530.wem"},
       {"bnk", "bnk", "wem", "wem", "wem", "wem"}},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.command + std::to_string(n));
    Bytes input = RandomBytes(300, 141);
    Append(input, row.bank);
    const std::string in = Write("bank" + std::to_string(n), input);
    const std::string out = dir / ("o" + std::to_string(n++));
    const Result plain = Cli({row.command, "--json", "-o", out + "/%3.3d.x", in});
    std::filesystem::remove_all(out);
    const Result r = Cli({row.command, "--json", "--members", "-o", out + "/%3.3d.x", in});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3 + row.files.size());
    // Without the option the lines are those with it but the members'.
    EXPECT_EQ(plain.out, lines[0] + "\n" + lines[1] + "\n" + lines.back() + "\n");
    const std::string bankOut = nlohmann::json::parse(lines[1])["output"];
    EXPECT_EQ(FilesIn(out + "/001"), row.files);
    const Bytes written = ReadBytes(bankOut);
    for (size_t i = 0; i < row.files.size(); ++i) {
      const nlohmann::json j = nlohmann::json::parse(lines[2 + i]);
      EXPECT_EQ(j["type"], "member");
      EXPECT_EQ(j["parent"], bankOut);
      EXPECT_EQ(j["index"], i);
      EXPECT_EQ(j["codec"], row.codecs[i]);
      EXPECT_EQ(j["output"], out + "/001/" + row.files[i]);
      EXPECT_TRUE(j.value("playable", true)) << j;
      // Its bytes are the member's range, after a WAVE header of 44 bytes
      // whose data chunk holds them all for PCM.
      const Bytes member = Slice(written, j["offset"], j["length"]);
      Bytes file = ReadBytes(j["output"]);
      if (row.codecs[i] == "pcm16") {
        ASSERT_GE(file.size(), 44u);
        EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
        EXPECT_EQ(Le32(file.data() + 40), member.size());
        EXPECT_EQ(Le32(file.data() + 24), j["rate"]);
        file.erase(file.begin(), file.begin() + 44);
      }
      // DSP ADPCM: laid out anew in a BRSTM (the bank mix test decodes it).
      if (row.codecs[i] == "dsp") {
        EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RSTM");
        continue;
      }
      EXPECT_EQ(file, member);
    }
    // A second run replaces no member: each fails, and says so.
    const Result again = Cli({row.command, "--members", "-o", out + "/%3.3d.y", in});
    EXPECT_EQ(FilesIn(out + "/001"), row.files);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(Contains(again.err, ": member 0: ")) << again.err;
  }
}

// What a command prints on its standard output.
Bytes Output(const std::string& command) {
  Bytes out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;)
    out.insert(out.end(), buffer, buffer + n);
  pclose(p);
  return out;
}

// --members of wave banks: PCM and MS ADPCM waves behind a WAVE header (an
// AIFF one for big-endian PCM) that ffmpeg decodes to the entry's samples,
// XMA behind an XMA2 header that ffprobe opens. Without ffmpeg there is nothing
// to play them with.
TEST_F(CliRun, WaveBankMembersComeOutPlayable) {
  if (std::system("ffmpeg -version >/dev/null 2>&1 && ffprobe -version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no ffmpeg";
  }
  for (const char* fixture : {"xwb_v46_pcm_adpcm_names.xwb", "xwb_v40_big_endian_pcm_xma.xwb"}) {
    SCOPED_TRACE(fixture);
    const Bytes bank = Fixture(fixture);
    const std::string in = Write(fixture, bank), out = dir / ("members_" + std::string(fixture));
    const Result r = Cli({"xwb", "--json", "--members", "-o", out + "/%3.3d.x", in});
    ASSERT_EQ(r.status, 0) << r.err;
    int members = 0;
    for (const std::string& text : Lines(r.out)) {
      const nlohmann::json j = nlohmann::json::parse(text);
      if (j["type"] != "member") continue;
      ++members;
      const std::string file = j["output"], codec = j["codec"];
      SCOPED_TRACE(file);
      EXPECT_TRUE(j.value("playable", true));
      if (codec == "xma") {
        EXPECT_TRUE(file.ends_with(".xma"));
        const Bytes probed = Output(
            "ffprobe -v error -show_entries stream=codec_name,sample_rate,"
            "channels -of csv=p=0 '" +
            file + "'");
        EXPECT_EQ(std::string(probed.begin(), probed.end()), "xma2,48000,2\n");
        continue;
      }
      EXPECT_TRUE(file.ends_with(codec == "pcm16be" ? ".aiff" : ".wav"));
      const Bytes decoded =
          Output("ffmpeg -v error -i '" + file + "' -f s16le -acodec pcm_s16le -");
      const int64_t channels = j["channels"];
      EXPECT_EQ(static_cast<int64_t>(decoded.size()), j["samples"].get<int64_t>() * channels * 2);
      Bytes member = Slice(bank, j["offset"], j["length"]);
      if (codec == "pcm16be") {
        for (size_t i = 0; i + 1 < member.size(); i += 2) std::swap(member[i], member[i + 1]);
      }
      if (codec == "pcm16" || codec == "pcm16be") {
        EXPECT_EQ(decoded, member);
      }
    }
    EXPECT_GE(members, 2);
  }
}

// The text between `open` and `close` from `at` on, moving `at` past it;
// empty when there is none.
std::string Between(const std::string& text, const std::string& open, const std::string& close,
                    size_t& at) {
  const size_t from = text.find(open, at);
  const size_t to = from == std::string::npos ? from : text.find(close, from + open.size());
  if (to == std::string::npos) return at = std::string::npos, "";
  at = to + close.size();
  return text.substr(from + open.size(), to - from - open.size());
}

// A percent-encoded name of the report back as its bytes ("&amp;" too).
std::string ReportBytes(std::string name) {
  for (size_t i; (i = name.find("&amp;")) != std::string::npos;) name.replace(i, 5, "&");
  for (size_t i; (i = name.find("&lt;")) != std::string::npos;) name.replace(i, 4, "<");
  std::string bytes;
  for (size_t i = 0; i < name.size(); ++i) {
    bytes +=
        name[i] == '%' ? static_cast<char>(std::stoi(name.substr(i + 1, 2), nullptr, 16)) : name[i];
    if (name[i] == '%') i += 2;
  }
  return bytes;
}

// Every output of a run with --hash and --report: its digests in the JSON
// Lines are those of its bytes, and the report, valid in its schema, gives
// each its digests and the range of the input it holds, byte for byte.
TEST_F(CliRun, DigestsAndTheReportDescribeEveryOutputByteForByte) {
  const struct {
    Args command;
    std::string name;  // of the input
    Bytes stream;
    std::string hashes;
    std::vector<std::string> kinds;
  } rows[] = {
      {{"mp3"}, "in.bin", Fixture("mpeg1_cbr128.mp3"), "md5", {"md5"}},
      {{"fsb", "--members"},
       "bank.bin",
       Fixture("fsb5_pcm16_names.fsb"),
       "sha256,md5,sha256",
       {"md5", "sha256"}},
      {{"awb", "--members"}, "a%b.bin", Fixture("awb_wave_members.awb"), "sha1", {"sha1"}},
      // A name that is no UTF-8 goes percent-encoded.
      {{"all"},
       "in\xff&<.bin",
       Fixture("flac_16_stereo_44k.flac"),
       "md5,sha1,sha256",
       {"md5", "sha1", "sha256"}},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes bytes = RandomBytes(700, 31);
    Append(bytes, row.stream);
    Append(bytes, RandomBytes(300, 32));
    const std::string in = Write(row.name, bytes);
    const std::string report = dir / ("report" + std::to_string(n) + ".xml");
    Args args = row.command;
    for (const char* a : {"--json", "--hash", row.hashes.c_str(), "--report", report.c_str(), "-o"})
      args.push_back(a);
    args.push_back(dir / ("o" + std::to_string(n++) + "/"));
    args.push_back(in);
    const Result r = Cli(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<nlohmann::json> outputs;
    for (const std::string& line : Lines(r.out)) {
      nlohmann::json j = nlohmann::json::parse(line);
      if (j.contains("output") && j.value("status", "written") == "written") outputs.push_back(j);
    }
    ASSERT_GE(outputs.size(), row.command.size() > 1 ? 3u : 1u);
    const Bytes reportBytes = ReadBytes(report);
    const std::string text(reportBytes.begin(), reportBytes.end());
    EXPECT_EQ(std::system(("xmllint --noout --schema " + FixturePath("dfxml_report.xsd") + " " +
                           report + " 2>/dev/null")
                              .c_str()),
              0)
        << text;
    size_t at = 0;
    EXPECT_EQ(ReportBytes(Between(text, "<image_filename>", "</image_filename>", at)), in);
    for (const nlohmann::json& j : outputs) {
      const std::string object = Between(text, "<fileobject>", "</fileobject>", at);
      const std::string name = j["output"].is_string() ? std::string(j["output"]) : "";
      size_t pos = 0;
      const std::string path = ReportBytes(Between(object, "<filename>", "</filename>", pos));
      const Bytes file = ReadBytes(path);
      if (!name.empty()) {
        EXPECT_EQ(path, name);
      }
      EXPECT_EQ(Between(object, "<filesize>", "</filesize>", pos), std::to_string(file.size()));
      const int64_t offset = std::stoll(Between(object, " offset=\"", "\"", pos));
      const int64_t image = std::stoll(Between(object, "img_offset=\"", "\"", pos));
      const int64_t len = std::stoll(Between(object, "len=\"", "\"", pos));
      EXPECT_EQ(Slice(file, offset, len), Slice(bytes, image, len)) << path;
      for (const std::string kind : {"md5", "sha1", "sha256"}) {
        const bool asked = std::find(row.kinds.begin(), row.kinds.end(), kind) != row.kinds.end();
        EXPECT_EQ(j.value(kind, ""), asked ? DigestHex(kind, file) : "") << path << " " << kind;
        size_t d = 0;
        EXPECT_EQ(Between(object, "<hashdigest type=\"" + kind + "\">", "</hashdigest>", d),
                  j.value(kind, ""));
      }
    }
    EXPECT_EQ(text.find("<fileobject>", at), std::string::npos) << "more objects than outputs";
  }
}

// A report is a new file: a name that is taken is refused before anything
// is carved, and one that cannot be written fails the run after it.
TEST_F(CliRun, AReportNeverReplacesAFile) {
  const std::string in = Write("in.bin", Embed(Fixture("mpeg1_cbr128.mp3"), 12));
  std::filesystem::create_directory(dir / "folder");
  WriteBytes(dir / "taken.xml", {'k', 'e', 'e', 'p'});
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.xml");
  const struct {
    std::string report;
    int status;
    bool carved;
  } rows[] = {
      {"taken.xml", 2, false},
      {"dangling.xml", 2, false},
      {"folder", 2, false},
      {"missing/r.xml", 1, true},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.report);
    const std::string out = dir / ("o" + std::to_string(n++));
    const Result r = Cli({"--report", dir / row.report, "-o", out + "/%3.3d.mp3", in});
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_TRUE(Contains(r.err, row.carved ? "cannot write the report" : "never replaced"))
        << r.err;
    EXPECT_EQ(FilesIn(out).size(), row.carved ? 1u : 0u);
  }
  EXPECT_EQ(ReadBytes(dir / "taken.xml"), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
}

TEST_F(CliRun, CrcPrintsTheChecksumListOfAllInputs) {
  Bytes data = RandomBytes(5000, 71, true);
  std::string a = Write("a.bin", {'a', 'b', 'c'});
  std::string b = Write("b.bin", data);
  std::string empty = Write("empty.bin", {});

  Result r = Cli({"crc", a, b, a, empty});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "352441C2, " + CrcText(data) + ", 352441C2, 00000000\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CliRun, CrcStopsAtTheFirstUnreadableInput) {
  std::string a = Write("a.bin", {'a', 'b', 'c'});
  Result r = Cli({"crc", a, dir / "missing.bin", a});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, dir / "missing.bin: File not found\n");

  Result folder = Cli({"crc", dir.path()});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.out, "");
  EXPECT_NE(folder.err, "");
}

TEST_F(CliRun, ProgressGoesToATerminalOnly) {
  std::string in = Write("in.bin", Embed(Frames(kBase, 5), 81));
  const struct {
    const char* name;
    bool terminal;
    Args options;
    bool shown;
  } cases[] = {
      {"a terminal", true, {}, true},
      {"no terminal", false, {}, false},
      {"a terminal, quiet", true, {"-q"}, false},
      {"a terminal, JSON Lines", true, {"--json"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliTerminal terminal;
    terminal.errIsTerminal = c.terminal;
    Args args = c.options;
    args.insert(args.end(), {"-o", Out(), in});
    Result scan = Cli(args, terminal);
    EXPECT_EQ(scan.status, 0);
    if (!c.shown) {
      EXPECT_EQ(scan.err, "");
      continue;
    }
    // One line rewritten: percent, rate, elapsed and remaining time, then
    // the end of the input's name; wiped at the end.
    for (const char* part : {"\r", "%  ", "MB/s  経過 ", "  残り ", "in.bin"}) {
      EXPECT_TRUE(Contains(scan.err, part)) << part << " in " << scan.err;
    }
    EXPECT_EQ(scan.err.find('\n'), std::string::npos);
    const size_t lastReturn = scan.err.rfind('\r', scan.err.size() - 2);
    EXPECT_EQ(scan.err.substr(lastReturn + 1),
              std::string(scan.err.size() - lastReturn - 2, ' ') + "\r");
    EXPECT_EQ(Lines(scan.out), EngineLog(in, dir / "e/%3.3d.mp3"));
  }

  CliTerminal terminal;
  terminal.errIsTerminal = true;
  Result crc = Cli({"crc", in}, terminal);
  EXPECT_EQ(crc.status, 0);
  EXPECT_TRUE(Contains(crc.err, "CRCの計算中...(  0.0%)")) << crc.err;
  EXPECT_EQ(crc.out, CrcText(ReadBytes(in)) + "\n");
}

TEST_F(CliRun, OggAndWavFindTheirStreams) {
  Bytes wave = Fixture("wave_s16_stereo.wav");
  std::string w = Write("w.bin", Embed(wave, 91));
  Result wr = Cli({"wav", "-o", Out(), w});
  EXPECT_EQ(wr.status, 0);
  EXPECT_EQ(Lines(wr.out), EngineLog(w, dir / "e/%3.3d.mp3", ExtractWav));
  std::vector<std::string> written = FilesIn(dir / "out");
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(ReadBytes(dir / ("out/" + written[0])), wave);

  Bytes vorbis = Fixture("vorbis_stereo.ogg");
  std::string o = Write("o.bin", Embed(vorbis, 92));
  // The fixture is only a few pages long: --frames counts pages here.
  Result orr = Cli({"ogg", "--frames", "2", "-o", dir / "ogg/%3.3d.mp3", o});
  EXPECT_EQ(orr.status, 0);
  EXPECT_EQ(Lines(orr.out), EngineLog(o, dir / "e2/%3.3d.mp3", ExtractOgg, 2));
  written = FilesIn(dir / "ogg");
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(ReadBytes(dir / ("ogg/" + written[0])), vorbis);
}

// The tag INI checks before an mp3 run.
class CliTagIni : public CliRun {
 protected:
  void SetUp() override {
    stream = Frames(kBase, 5);
    input = Write("in.bin", Embed(stream, 101));
  }
  std::string Ini(const std::string& general) {
    std::string path = dir / "tags.ini";
    std::string text = "[general]\n" + general + "\n[Track1]\nTitle=Carved\n";
    WriteBytes(path, Bytes(text.begin(), text.end()));
    return path;
  }
  Result CliWith(const std::string& ini, Args extra = {}, const CliTerminal& terminal = {}) {
    Args args = {"--tag-ini", ini, "-o", Out()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(input);
    return Cli(args, terminal);
  }
  // The output carries the new tag of Track1 after the frames.
  void ExpectCarvedWithTag() {
    Bytes out = ReadBytes(dir / "out/001.mp3");
    ASSERT_EQ(out.size(), stream.size() + 128);
    EXPECT_EQ(Slice(out, 0, stream.size()), stream);
    EXPECT_EQ(std::string(out.begin() + stream.size(), out.begin() + stream.size() + 9),
              "TAGCarved");
  }

  Bytes stream;
  std::string input;
  const std::string kNameQuestion =
      "入力ファイル名がINIで指定されたものと違っていますが、続行しますか？";
  const std::string kCrcQuestion = "CRCがINIで指定されたものと違っていますが、続行しますか？";
};

TEST_F(CliTagIni, TwoInputsAreRefusedBeforeAnythingIsRead) {
  std::string other = Write("other.bin", Embed(stream, 102));
  Result r = Cli({"--tag-ini", Ini("InputFile=in.bin"), "-o", Out(), input, other});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "IniFileを指定した場合は複数選択できません\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

TEST_F(CliTagIni, MatchingNameAndCrcAskNothing) {
  Result r = CliWith(Ini("InputFile=in.bin\nInputCRC=" + CrcText(ReadBytes(input))));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  ExpectCarvedWithTag();
}

TEST_F(CliTagIni, ANameMismatchIsRefusedWithoutAnAnswer) {
  Result r = CliWith(Ini("InputFile=In.bin"));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.err.starts_with(kNameQuestion + "\n")) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

TEST_F(CliTagIni, YesOrTheTerminalsAnswerLetsTheRunGoOn) {
  std::string ini = Ini("InputFile=other.bin");
  Result yes = CliWith(ini, {"--yes"});
  EXPECT_EQ(yes.status, 0);
  EXPECT_EQ(yes.err, kNameQuestion + "\n");
  ExpectCarvedWithTag();

  std::filesystem::remove_all(dir / "out");
  std::vector<std::string> asked;
  bool answer = false;
  CliTerminal terminal;
  terminal.ask = [&](const std::string& q) {
    asked.push_back(q);
    return answer;
  };
  Result no = CliWith(ini, {}, terminal);
  EXPECT_EQ(no.status, 2);
  EXPECT_EQ(asked, Args{kNameQuestion});
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));

  answer = true;
  Result askedYes = CliWith(ini, {}, terminal);
  EXPECT_EQ(askedYes.status, 0);
  EXPECT_EQ(asked.size(), 2u);
  ExpectCarvedWithTag();
}

TEST_F(CliTagIni, ACrcInLowerCaseDoesNotMatch) {
  std::string crc = CrcText(ReadBytes(input));
  for (char& c : crc) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_NE(crc, CrcText(ReadBytes(input)));
  Result r = CliWith(Ini("InputFile=in.bin\nInputCRC=" + crc));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.err.starts_with(kCrcQuestion + "\n")) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));

  Result yes = CliWith(Ini("InputFile=in.bin\nInputCRC=" + crc), {"--yes"});
  EXPECT_EQ(yes.status, 0);
  EXPECT_EQ(yes.err, kCrcQuestion + "\n");
  ExpectCarvedWithTag();
}

TEST_F(CliTagIni, AnUnreadableInputEndsTheCrcCheckBeforeCarving) {
  std::string ini = Ini("InputCRC=01234567");
  Result r = Cli({"--tag-ini", ini, "-o", Out(), dir / "missing.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, dir / "missing.bin: File not found\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(CliTagIni, AMissingIniFileChecksNothingAndAddsNoTag) {
  Result r = CliWith(dir / "no-such.ini");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "zandrel-cli: warning: cannot read the tag INI file " + dir / "no-such.ini" +
                       ": File not found; no stream gets a tag from it\n");
  EXPECT_EQ(ReadBytes(dir / "out/001.mp3"), stream);
}

// The built program, for its real exit statuses and the terminal checks.
class CliBinary : public ::testing::Test {
 protected:
  // Runs the program in `dir` with standard input from `input`, after the
  // shell commands `before` (which may change the directory).
  // The locale is the C locale unless `locale` (variable assignments) says
  // otherwise.
  // `wrapper` runs the program (a timeout that interrupts it).
  Result Exec(const std::string& args, const std::string& input = "/dev/null",
              const std::string& before = "", const std::string& locale = "",
              const std::string& wrapper = "") {
    std::string command = "cd '" + dir.path() + "' && " + before +
                          " env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG " + locale + " " +
                          wrapper + " '" + ZANDREL_CLI "' " + args + " >'" + dir.path() +
                          "/stdout.txt' 2>'" + dir.path() + "/stderr.txt' <" + input;
    int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw)) << command;
    auto text = [&](const char* name) {
      Bytes b = ReadBytes(dir / name);
      return std::string(b.begin(), b.end());
    };
    return {WEXITSTATUS(raw), text("stdout.txt"), text("stderr.txt")};
  }

  TempDir dir;
};

TEST_F(CliBinary, ExitStatusesAreThoseOfTheOutcome) {
  WriteBytes(dir / "in.bin", Embed(Frames(kBase, 5), 111));

  Result help = Exec("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: zandrel-cli"));

  EXPECT_EQ(Exec("--frames 1 in.bin").status, 2);
  EXPECT_EQ(Exec("--range 60").status, 2);
  EXPECT_EQ(Exec("").status, 2);

  Result missing = Exec("missing.bin");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "入力ファイルが存在しません(missing.bin)\n");

  Result crc = Exec("crc in.bin");
  EXPECT_EQ(crc.status, 0);
  EXPECT_EQ(crc.out, CrcText(ReadBytes(dir / "in.bin")) + "\n");
  EXPECT_EQ(Exec("crc in.bin nothing").status, 1);
}

// The human lines follow the language: under Japanese and the C locale
// they are those of the C locale byte for byte, under any other locale they
// hold no Japanese; the JSON Lines and the outputs never change.
TEST_F(CliBinary, TheLinesFollowTheLanguageAndTheJsonLinesNever) {
  WriteBytes(dir / "in.bin", Embed(Frames(kBase, 5), 111));
  const std::string ini = "[general]\nInputCRC=1\n";
  WriteBytes(dir / "t.ini", Bytes(ini.begin(), ini.end()));
  const std::vector<std::string> runs = {"-o 'out/%3.3d.mp3' in.bin missing.bin",
                                         "-n all in.bin",
                                         "--json -o 'j/%3.3d.mp3' in.bin missing.bin",
                                         "-o 'no/such/%3.3d.mp3' in.bin",
                                         "--tag-ini t.ini -o 'out/%3.3d.mp3' in.bin",
                                         "--tag-ini t.ini in.bin in.bin",
                                         "--json --tag-ini t.ini --yes -o 'k/%3.3d.mp3' in.bin"};
  struct Locale {
    const char* env;
    bool english;
  };
  const std::vector<Locale> locales = {
      {"LC_ALL=C", false},
      {"LANG=ja_JP.UTF-8", false},
      {"LANG=C.UTF-8 LANGUAGE=en", false},
      {"LANG=en_US.UTF-8 LANGUAGE=fr:ja", false},
      {"LANG=en_US.UTF-8", true},
      {"LANG=de_DE.UTF-8", true},
      {"LANG=ja_JP.UTF-8 LANGUAGE=en_GB:ja", true},
      {"--lang-en", true},
  };
  auto japanese = [](const std::string& text) {
    // Every kana, kanji and full-width form is a three-byte UTF-8
    // sequence beginning with 0xE3 to 0xE9 or 0xEF.
    return std::any_of(text.begin(), text.end(), [](char c) {
      auto b = static_cast<unsigned char>(c);
      return (b >= 0xE3 && b <= 0xE9) || b == 0xEF;
    });
  };
  for (const std::string& run : runs) {
    const Result classic = Exec(run);
    EXPECT_TRUE(japanese(classic.out + classic.err)) << run;
    for (const Locale& l : locales) {
      const std::string env = l.env;
      const Result r =
          env == "--lang-en" ? Exec("--lang en " + run) : Exec(run, "/dev/null", "", env);
      EXPECT_EQ(r.status, classic.status) << run << " under " << env;
      const bool json = run.starts_with("--json");
      if (!l.english || json) {
        EXPECT_EQ(r.out, classic.out) << run << " under " << env;
      }
      if (!l.english) {
        EXPECT_EQ(r.err, classic.err) << run << " under " << env;
      }
      if (l.english) {
        EXPECT_FALSE(japanese(r.err)) << run << " under " << env << ": " << r.err;
        if (!json) {
          EXPECT_FALSE(japanese(r.out)) << run << " under " << env << ": " << r.out;
          // A format that found nothing is named, with no emoticon.
          EXPECT_EQ(r.out.find("(T-T)"), std::string::npos) << run << " under " << env;
          if (run == "-n all in.bin") {
            EXPECT_NE(r.out.find("\nogg: nothing found\n"), std::string::npos) << r.out;
          }
        }
      }
    }
  }
  // Qt Core, which reads the catalogs, is loaded only where one is shown.
  for (const Locale& l : locales) {
    const std::string env = l.env;
    const Result r = env == "--lang-en"
                         ? Exec("--lang en -n all in.bin", "/dev/null", "", "LD_DEBUG=files")
                         : Exec("-n all in.bin", "/dev/null", "", env + " LD_DEBUG=files");
    EXPECT_EQ(r.err.find("libQt6Core") != std::string::npos, l.english) << env;
  }
  EXPECT_EQ(Exec("--lang xx in.bin").status, 2);
}

TEST_F(CliBinary, TheDefaultOutputIsBelowTheWorkingDirectory) {
  WriteBytes(dir / "in.bin", Embed(Frames(kBase, 5), 112));
  Result r = Exec("in.bin");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");  // a file is no terminal: no progress
  EXPECT_EQ(FilesIn(dir / "output"), Args{"001.mp3"});
}

// FFmpeg's libraries are loaded by a run that decodes, and by no other:
// their loading costs a scan more than the scan of a small file.
TEST_F(CliBinary, OnlyADecodingLoadsFfmpeg) {
  WriteBytes(dir / "in.bin", Embed(Frames(kBase, 5), 113));
  const struct {
    const char* args;
    bool loads;
  } cases[] = {
      {"-n all in.bin", false},
      {"-o 'a/%3.3d.mp3' in.bin", false},
      {"--version", false},
      {"--decode -o 'd/%3.3d.mp3' in.bin", true},
  };
  for (const auto& c : cases) {
    // The dynamic linker names every object it loads on standard error.
    Result r = Exec(c.args, "/dev/null", "", "LD_DEBUG=files");
    EXPECT_EQ(r.status, 0) << c.args;
    EXPECT_EQ(r.err.find("libavformat.so") != std::string::npos, c.loads) << c.args;
  }
  EXPECT_EQ(FilesIn(dir / "d"), (Args{"001.mp3", "001.mp3.wav"}));
}

// An output pattern that ends in '/' or names a folder is that folder:
// every output goes inside it, named by its input and number, and nothing
// lands beside it.
TEST_F(CliBinary, AnOutputPatternThatIsAFolderTakesEveryOutputInside) {
  Bytes a = Embed(Fixture("mpeg1_cbr128.mp3"), 115);
  Append(a, Fixture("wave_s16_stereo.wav"));
  WriteBytes(dir / "a.bin", a);
  WriteBytes(dir / "b.bin", Embed(Fixture("mpeg1_cbr128.mp3"), 116));
  std::filesystem::create_directory(dir / "there");
  struct Case {
    const char* command;
    const char* folder;  // below `dir`
    Args written;        // in the folder
  };
  const Case cases[] = {
      {"all -o outdir/ a.bin b.bin", "outdir", {"a.bin_001.mp3", "a.bin_001.wav", "b.bin_001.mp3"}},
      {"mp3 -o outdir2/ a.bin", "outdir2", {"a.bin_001.mp3"}},
      {"wav -o there a.bin", "there", {"a.bin_001.wav"}},
      {"-o 'x%d/' b.bin", "x%d", {"b.bin_001.mp3"}},
  };
  Exec("--version");  // its standard streams' files are there from now on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const Args before = FilesIn(dir.path());
    const Result r = Exec(c.command);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FilesIn(dir / c.folder), c.written);
    Args after = FilesIn(dir.path());
    after.erase(std::remove(after.begin(), after.end(), std::string(c.folder)), after.end());
    Args expected = before;
    expected.erase(std::remove(expected.begin(), expected.end(), std::string(c.folder)),
                   expected.end());
    EXPECT_EQ(after, expected) << "nothing beside the folder";
  }
}

// The default pattern from working directories that are awkward to build
// it from.
TEST_F(CliBinary, TheDefaultOutputNamesTheWorkingDirectoryOrSaysItHasNone) {
  WriteBytes(dir / "in.bin", Embed(Frames(kBase, 5), 114));
  struct Case {
    std::string before;
    int status;
    std::string err;
    std::vector<std::string> written;  // below `dir`
  };
  const Case cases[] = {
      {"mkdir '50%done2' && cd '50%done2' &&", 0, "", {"50%done2/output/001.mp3"}},
      {"mkdir '%s%n' && cd '%s%n' &&", 0, "", {"%s%n/output/001.mp3"}},
      {"mkdir gone && cd gone && rmdir ../gone &&",
       1,
       "zandrel-cli: the working directory cannot be determined",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    Result r = Exec("'" + dir / "in.bin'", "/dev/null", c.before);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(c.err.empty() ? r.err.empty() : r.err.starts_with(c.err)) << r.err;
    for (const std::string& name : c.written) EXPECT_TRUE(std::filesystem::exists(dir / name));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "501one2"));
}

TEST_F(CliBinary, AQuestionIsRefusedWhenStandardInputIsNoTerminal) {
  WriteBytes(dir / "in.bin", Embed(Frames(kBase, 5), 113));
  std::string ini = "[general]\nInputFile=in.bin\n";
  WriteBytes(dir / "tags.ini", Bytes(ini.begin(), ini.end()));
  // Named without a folder, the input has an empty base name, which never
  // matches a given InputFile.
  Result r = Exec("--tag-ini tags.ini in.bin");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "入力ファイル名がINIで指定されたものと違っていますが"));
  EXPECT_FALSE(std::filesystem::exists(dir / "output"));

  EXPECT_EQ(Exec("--tag-ini tags.ini ./in.bin").status, 0);
  EXPECT_EQ(FilesIn(dir / "output"), Args{"001.mp3"});
}

TEST_F(CliBinary, TheOptionsForScriptsOnInputsNamedWithoutAFolder) {
  Bytes first = Frames(kBase, 6), second = Frames(k48kHz, 5), other = Frames(kBase, 4);
  Bytes twoStreams = RandomBytes(1500, 131);
  Append(twoStreams, first);
  Append(twoStreams, RandomBytes(700, 132));
  Append(twoStreams, second);
  Append(twoStreams, RandomBytes(900, 133));
  WriteBytes(dir / "a.pak", twoStreams);
  WriteBytes(dir / "b", Embed(other, 134));  // a word, but the name of a file
  const std::string list = "a.pak\n\nb\n";
  WriteBytes(dir / "list.txt", Bytes(list.begin(), list.end()));
  const Bytes kept = {'k', 'e', 'p', 't'};

  struct Case {
    const char* args;
    int status;
    int logLines;                        // on standard output
    bool existing001;                    // o/001.mp3 is there before the run
    std::map<std::string, Bytes> files;  // in o/ after the run; none: no folder
  };
  const Case cases[] = {
      {"-o 'o/%3.3d.mp3' a.pak", 0, 4, false, {{"001.mp3", first}, {"002.mp3", second}}},
      {"-q -o 'o/%3.3d.mp3' a.pak", 0, 0, false, {{"001.mp3", first}, {"002.mp3", second}}},
      {"--quiet -o 'o/%f_%3.3d.mp3' a.pak",
       0,
       0,
       false,
       {{"a.pak_001.mp3", first}, {"a.pak_002.mp3", second}}},
      {"--files-from list.txt -o 'o/%f_%3.3d.mp3'",
       0,
       7,
       false,
       {{"a.pak_001.mp3", first}, {"a.pak_002.mp3", second}, {"b_001.mp3", other}}},
      // "b" twice: its second pass names its stream again, and takes the
      // name beside (a line more).
      {"b -o 'o/%f_%3.3d.mp3' --files-from -",
       0,
       11,
       false,
       {{"a.pak_001.mp3", first},
        {"a.pak_002.mp3", second},
        {"b_001.mp3", other},
        {"b_001_2.mp3", other}}},
      // Numbering starts again with every input: the second input's first
      // stream takes the name beside the first input's first, told in a line.
      {"-n -o 'o/%3.3d.mp3' a.pak b", 0, 8, false, {}},
      {"--dry-run --no-clobber -o 'o/%3.3d.mp3' a.pak b", 0, 8, false, {}},
      {"-o 'o/%3.3d.mp3' a.pak b",
       0,
       8,
       false,
       {{"001.mp3", first}, {"002.mp3", second}, {"001_2.mp3", other}}},
      {"--no-clobber -o 'o/%3.3d.mp3' a.pak", 1, 5, true, {{"001.mp3", kept}, {"002.mp3", second}}},
      {"--no-clobber -q -o 'o/%3.3d.mp3' a.pak b",
       0,
       0,
       false,
       {{"001.mp3", first}, {"002.mp3", second}, {"001_2.mp3", other}}},
      // A file of an earlier run is replaced, but never taken as the free
      // name beside; under --no-clobber it fails its stream.
      {"-q -o 'o/%3.3d.mp3' b a.pak",
       0,
       0,
       true,
       {{"001.mp3", other}, {"001_2.mp3", first}, {"002.mp3", second}}},
      {"--no-clobber -q -o 'o/%3.3d.mp3' a.pak b",
       1,
       0,
       true,
       {{"001.mp3", kept}, {"002.mp3", second}}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(dir / "o");
    if (c.existing001) {
      std::filesystem::create_directory(dir / "o");
      WriteBytes(dir / "o/001.mp3", kept);
    }
    Result r = Exec(c.args, "list.txt");
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_EQ(Lines(r.out).size(), static_cast<size_t>(c.logLines)) << c.args << "\n" << r.out;
    std::map<std::string, Bytes> files;
    for (const std::string& name : FilesIn(dir / "o")) files[name] = ReadBytes(dir / ("o/" + name));
    EXPECT_EQ(files, c.files) << c.args;
    EXPECT_EQ(std::filesystem::exists(dir / "o"), !c.files.empty()) << c.args;
    EXPECT_EQ(Contains(r.err, "出力ファイルが既に存在します("), c.status == 1) << c.args;
  }
}

// -r: a folder stands for its regular files, in a stable order, links and
// FIFOs left out, and the output folder too; the streams of inputs with the
// same pattern all stay.
TEST_F(CliBinary, FoldersAsInputsAndListsFromPipes) {
  namespace fs = std::filesystem;
  Bytes first = Frames(kBase, 6), second = Frames(k48kHz, 5), other = Frames(kBase, 4);
  fs::create_directories(dir / "tree/sub/deeper");
  WriteBytes(dir / "tree/a.pak", Embed(first, 141));
  WriteBytes(dir / "tree/sub/b.bin", Embed(other, 142));
  WriteBytes(dir / "tree/sub/deeper/c.bin", Embed(second, 143));
  fs::create_symlink("sub/b.bin", dir / "tree/link.bin");
  fs::create_symlink("sub", dir / "tree/linkdir");
  // Opened, a FIFO without a writer would hold the run forever.
  ASSERT_EQ(::mkfifo((dir / "tree/fifo").c_str(), 0600), 0);
  const std::string feedList = "mkfifo l.fifo && (printf 'tree/a.pak\\ntree/sub\\n' >l.fifo &) &&";

  struct Case {
    const char* args;
    std::string before;  // shell commands before the run
    int status;
    const char* folder;  // where the outputs go, below dir
    std::map<std::string, Bytes> files;
  };
  const Case cases[] = {
      {"-q -o 'tree/out/%3.3d.mp3' tree/", "", 1, "tree/out", {}},
      {"-r -q -o 'tree/out/%3.3d.mp3' tree",
       "",
       0,
       "tree/out",
       {{"001.mp3", first}, {"001_2.mp3", other}, {"001_3.mp3", second}}},
      {"--recursive -q -o 'o/%f-%3.3d.mp3' tree/sub tree/a.pak",
       "",
       0,
       "o",
       {{"b.bin-001.mp3", other}, {"c.bin-001.mp3", second}, {"a.pak-001.mp3", first}}},
      {"-rq --files-from l.fifo -o 'o/%3.3d.mp3'",
       feedList,
       0,
       "o",
       {{"001.mp3", first}, {"001_2.mp3", other}, {"001_3.mp3", second}}},
      {"-q --files-from l.fifo -o 'o/%3.3d.mp3'", feedList, 1, "o", {{"001.mp3", first}}},
      {"-q --files-from /dev/null -o 'o/%3.3d.mp3'", "", 0, "o", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(dir / "tree/out");
    fs::remove_all(dir / "o");
    fs::remove(dir / "l.fifo");
    Result r = Exec(c.args, "/dev/null", c.before);
    EXPECT_EQ(r.status, c.status) << r.err;
    std::map<std::string, Bytes> files;
    for (const std::string& name : FilesIn(dir / c.folder)) {
      files[name] = ReadBytes(dir / (c.folder + ("/" + name)));
    }
    EXPECT_EQ(files, c.files);
    EXPECT_EQ(Contains(r.err, "Is a folder, not a file"), c.status == 1) << r.err;
  }
  // Runs again over a tree that holds their output folder write what the first wrote.
  for (int run = 1; run <= 3; ++run) {
    EXPECT_EQ(Exec("-r -q -o 'tree/out/%f-%3.3d.mp3' tree").status, 0) << "run " << run;
    EXPECT_EQ(FilesIn(dir / "tree/out"), Args({"a.pak-001.mp3", "b.bin-001.mp3", "c.bin-001.mp3"}))
        << "run " << run;
  }
  // A folder that cannot be read (here: too deep to be named, whoever runs)
  // is reported, in JSON Lines too, and the rest is scanned.
  {
    const std::string here = fs::current_path();
    fs::current_path(dir / "tree/sub");
    for (int i = 0; i < 22; ++i) {
      fs::create_directory(std::string(200, 'd'));
      fs::current_path(std::string(200, 'd'));
    }
    WriteBytes("lost.bin", Embed(first, 144));
    fs::current_path(here);
  }
  Result deep = Exec("-r --json -o 'o/%f-%3.3d.mp3' tree/sub");
  EXPECT_EQ(deep.status, 1);
  EXPECT_EQ(FilesIn(dir / "o"), Args({"b.bin-001.mp3", "c.bin-001.mp3"}));
  EXPECT_TRUE(Contains(deep.err, "zandrel-cli: tree/sub/dddd")) << deep.err;
  EXPECT_TRUE(Contains(deep.out, "{\"type\":\"error\",\"input\":\"tree/sub/dddd")) << deep.out;

  // A list larger than a list file may be is refused from a pipe too.
  Result huge = Exec("--files-from l.fifo", "/dev/null",
                     "mkfifo l.fifo && (head -c 17000000 /dev/zero >l.fifo 2>/dev/null &) &&");
  EXPECT_EQ(huge.status, 2);
  EXPECT_TRUE(Contains(huge.err, "cannot read the input list l.fifo")) << huge.err;
}

// With --extended, every fixture embedded at odd offsets comes out whole and
// byte-exact, split into the files it was made of, and nothing else comes out.
TEST_F(CliRun, ExtendedRulesRecoverEveryFixtureByteExact) {
  struct Entry {
    const char* command;
    const char* name;
    // Where the fixture splits into its files: the length of its first file
    // is that of this fixture; none when empty.
    const char* firstPart;
    bool gapBefore;
  } entries[] = {
      {"mp3", "mpeg1_id3.mp3", "", true},
      // Right behind the previous file's ID3v1 tag.
      {"mp3", "mpeg1_cover70k.mp3", "", false},
      {"mp3", "mpeg1_cover20k.mp3", "", true},
      {"mp3", "mpeg1_cbr_pair.mp3", "mpeg1_cbr128.mp3", true},
      {"mp3", "mpeg1_vbr_pair.mp3", "mpeg1_vbr.mp3", true},
      {"mp3", "mpeg1_plain_then_info.mp3", "", true},
      {"mp3", "mpeg25_8k.mp3", "", true},
      {"ogg", "vorbis_mono.ogg", "", true},
      {"ogg", "vorbis_chained.ogg", "vorbis_mono.ogg", true},
      {"ogg", "theora_vorbis.ogv", "", true},
      {"ogg", "opus_chained.opus", "opus_mono_16k_input.opus", true},
      {"ogg", "speex_wb_mono_16k.oga", "", true},
      {"wav", "wave_list_first.wav", "", true},
      {"wav", "wave_bwf_junk_bext.wav", "", true},
      {"wav", "wave_s16_stereo.wav", "", true},
      {"wav", "wave_rifx_s16_stereo.wav", "", true},
      {"wav", "atrac9_stereo_48k.at9", "", true},
      {"wav", "wwise_pcm_rifx_stereo_48k.wem", "", true},
  };
  // The second file of mpeg1_plain_then_info.mp3 is mpeg1_cbr128.mp3.
  const int64_t plainLength = static_cast<int64_t>(Fixture("mpeg1_plain_then_info.mp3").size() -
                                                   Fixture("mpeg1_cbr128.mp3").size());
  Bytes input;
  std::map<std::string, std::vector<Bytes>> expected;
  uint32_t seed = 40;
  for (const Entry& e : entries) {
    if (e.gapBefore) Append(input, RandomBytes(1001 + 2 * seed, seed));
    ++seed;
    const Bytes whole = Fixture(e.name);
    int64_t split = *e.firstPart ? static_cast<int64_t>(Fixture(e.firstPart).size()) : 0;
    if (std::string(e.name) == "mpeg1_plain_then_info.mp3") split = plainLength;
    Append(input, whole);
    auto& outputs = expected[e.command];
    if (split == 0) {
      outputs.push_back(whole);
    } else {
      outputs.push_back(Slice(whole, 0, split));
      outputs.push_back(Slice(whole, split, static_cast<int64_t>(whole.size()) - split));
    }
  }
  Append(input, RandomBytes(999, 99));
  std::string in = Write("in.bin", input);
  for (const auto& [command, outputs] : expected) {
    SCOPED_TRACE(command);
    Result r = Cli({command, "--extended", "-o", dir / (command + "/%3.3d.mp3"), in});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> files = FilesIn(dir / command);
    ASSERT_EQ(files.size(), outputs.size()) << r.out;
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(ReadBytes(dir / (command + "/" + files[i])), outputs[i]) << files[i];
    }
  }
}

// `all` takes the extended rules unless --classic-rules: an MP3 whose Info
// frame says stereo before joint-stereo audio comes out whole with its tags,
// and a three-page Opus file is found, named and logged as Opus. `%o` names
// by offset under `all`; the classic command reads its pattern as ever.
TEST_F(CliRun, AllTakesTheExtendedRulesAndNamesByOffset) {
  // As ffmpeg writes it: the Info frame (after a 238-byte ID3v2 tag) in
  // stereo, the audio in joint stereo.
  Bytes mp3 = Fixture("mpeg1_id3.mp3");
  mp3[238 + 3] &= 0x3F;
  const Bytes opus = Fixture("opus_stereo_44k_input.opus");
  Bytes input = RandomBytes(1001, 31);
  const int64_t mp3At = Append(input, mp3);
  Append(input, RandomBytes(999, 32));
  const int64_t opusAt = Append(input, opus);
  Append(input, RandomBytes(777, 33));
  const std::string in = Write("in.bin", input);
  auto hex = [](int64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(offset));
    return std::string(text);
  };
  struct Case {
    Args args;
    std::vector<std::string> files;
    bool mp3Whole;
  } cases[] = {
      {{"all"}, {"in.bin_" + hex(mp3At + 238) + ".mp3", "in.bin_" + hex(opusAt) + ".opus"}, true},
      // The Info frame (417 bytes) ends the stream before the audio.
      {{"all", "--classic-rules"}, {"in.bin_" + hex(mp3At + 238 + 417) + ".mp3"}, false},
      {{"mp3"}, {"in.bin_.mp3"}, false},
      {{"ogg"}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    std::filesystem::remove_all(dir / "out");
    Args args = c.args;
    args.insert(args.end(), {"-o", dir / "out/%f_%8.8o.%e", in});
    Result r = Cli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FilesIn(dir / "out"), c.files) << r.out;
    if (c.mp3Whole) {
      EXPECT_EQ(ReadBytes(dir / ("out/" + c.files[0])), mp3);
      EXPECT_EQ(ReadBytes(dir / ("out/" + c.files[1])), opus);
      EXPECT_TRUE(Contains(r.out, "OggOpus")) << r.out;
      EXPECT_FALSE(Contains(r.out, "OggVorbis")) << r.out;
    }
  }
}

// Streams of one image, one of them across the first MiB where the split
// sets cut it, read as the raw image, as split raw sets of both namings and
// as a compressed E01 of several segments: the same streams at the same
// image offsets, byte for byte, under the name of the first segment, which
// the report names with every segment. A later segment given with its first
// is read with it; given alone, it is the file it is, and so is a first
// segment without --images.
TEST_F(CliRun, ImagesGiveTheSameStreamsWhateverFilesHoldThem) {
  const Bytes mp3 = Fixture("mpeg1_cbr128.mp3"), ogg = Fixture("vorbis_stereo.ogg");
  const Bytes wav = Fixture("wave_s16_stereo.wav");
  constexpr int64_t kMiB = 1024 * 1024;
  Bytes image = RandomBytes(300000, 61);
  std::vector<int64_t> at = {Append(image, mp3)};
  Append(image, RandomBytes(kMiB - 4000 - image.size(), 62));
  at.push_back(Append(image, wav));  // across the first MiB
  Append(image, RandomBytes(kMiB + 500000, 63));
  at.push_back(Append(image, ogg));
  // Whole sectors: an E01 holds no part of one.
  Append(image, RandomBytes(100000 + (512 - (image.size() + 100000) % 512), 64));
  const struct {
    const char* name;
    const char* make;  // the command that makes it in its folder from ../disk.dd
  } ways[] = {
      {"raw", "cp ../disk.dd ."},
      {"digits", "split -b 1M -d -a 3 --numeric-suffixes=1 ../disk.dd disk."},
      {"letters", "split -b 1M ../disk.dd disk."},
      {"ewf", "ewfacquire -u -q -S 1MiB -c deflate:fast -t disk ../disk.dd >/dev/null 2>&1"},
  };
  WriteBytes(dir / "disk.dd", image);
  for (const auto& w : ways) {
    SCOPED_TRACE(w.name);
    const std::string way = w.name;
    if (way == "ewf" && std::system("command -v ewfacquire >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "no ewfacquire here";
    std::filesystem::create_directory(dir / way);
    const std::string make = "cd '" + (dir / way) + "' && " + w.make;
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    std::vector<std::string> segments;
    for (const std::string& name : FilesIn(dir / way)) segments.push_back(dir / (way + "/" + name));
    ASSERT_GE(segments.size(), way == "raw" ? 1u : 2u);
    const std::string out = dir / ("out-" + way), report = out + ".xml";
    // Every segment given, as a shell's disk.* gives them; walked in pages
    // of 256 KiB by two threads, each of which reads the image too.
    Args args = {"all",    "--images", "-j",   "2",  "--page-size",    "262144",
                 "--json", "--report", report, "-o", out + "/%8.8o.%e"};
    args.insert(args.end(), segments.begin(), segments.end());
    const Result r = Cli(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<int64_t> offsets;
    for (const std::string& line : Lines(r.out)) {
      const nlohmann::json j = nlohmann::json::parse(line);
      EXPECT_EQ(j["input"], segments[0]);
      if (j["type"] == "stream") offsets.push_back(j["offset"]);
    }
    EXPECT_EQ(offsets, at) << r.out;
    const std::vector<std::string> files = FilesIn(out);
    ASSERT_EQ(files, FilesIn(dir / "out-raw"));
    for (const std::string& f : files)
      EXPECT_EQ(ReadBytes(out + "/" + f), ReadBytes(dir / ("out-raw/" + f))) << f;
    EXPECT_EQ(ReadBytes(out + "/" + files[1]), wav);
    const Bytes xml = ReadBytes(report);
    const std::string text(xml.begin(), xml.end());
    size_t pos = 0;
    for (const std::string& segment : segments)
      EXPECT_EQ(Between(text, "<image_filename>", "</image_filename>", pos), segment);
    EXPECT_EQ(Between(text, "<image_size>", "</image_size>", pos), std::to_string(image.size()));
    EXPECT_EQ(text.find("<source>", text.find("<source>") + 1), std::string::npos) << text;
    if (way == "raw") continue;
    // The log says each later segment is read with the first.
    const Result log = Cli({"all", "--images", "-n", segments[0], segments[1]});
    EXPECT_TRUE(Contains(log.out, "\"" + segments[1] + "\"は\"" + segments[0] + "\"から"))
        << log.out;
    EXPECT_FALSE(Contains(log.out, "\"" + segments[1] + "\"から")) << log.out;
    if (way == "ewf") continue;  // the bytes of an E01 file are deflated
    char thirdAt[16];
    std::snprintf(thirdAt, sizeof thirdAt, "%08llX",
                  static_cast<unsigned long long>(at[2] - 2 * kMiB));
    const struct {
      Args args;
      std::string input;
      std::vector<std::string> files;
    } alone[] = {{{"mp3"}, segments[0], {"disk_001.mp3"}},
                 {{"all", "--images"}, segments[0], files},
                 {{"all", "--images"}, segments[2], {thirdAt + std::string(".ogg")}}};
    for (const auto& a : alone) {
      std::filesystem::remove_all(dir / "alone");
      Args again = a.args;
      again.insert(
          again.end(),
          {"-o", a.args[0] == "mp3" ? dir / "alone/disk_%3.3d.mp3" : dir / "alone/%8.8o.%e",
           a.input});
      EXPECT_EQ(Cli(again).status, 0);
      EXPECT_EQ(FilesIn(dir / "alone"), a.files) << again[0] << " " << a.input;
    }
  }
}

// An Env whose folders named `refused` cannot be written in, for `err`.
class RefusingEnv : public Env {
 public:
  RefusingEnv(std::string refused, int err) : refused_(std::move(refused)), err_(err) {}
  int access(const char* path, int mode, int flags) override {
    if (path != refused_) return Env::access(path, mode, flags);
    errno = err_;
    return -1;
  }

 private:
  std::string refused_;
  int err_;
};

// An output folder no output could be written in is said once, with its
// cause, before the run: nothing is logged or written and the status is 1.
// A RIFF WAVE file: a 16-byte format chunk of format `tag`, then `data`.
Bytes WaveOf(const Bytes& data, uint8_t tag = 1) {
  Bytes w = {'R', 'I', 'F', 'F', 0,  0,   0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
             ' ', 16,  0,   0,   0,  tag, 0,   2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1,
             2,   0,   4,   0,   16, 0,   'd', 'a', 't', 'a',  0,    0,   0,   0};
  for (const auto& [at, value] : {std::pair{4, data.size() + 36}, {40, data.size()}}) {
    for (int i = 0; i < 4; ++i) w[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  Append(w, data);
  return w;
}

// With -j, the pages of an input are walked apart: every command gives what one
// job gives, line for line, JSON Line for JSON Line, output for output, also
// where streams cross pages, span several, hold another or meet at a page's end.
TEST_F(CliRun, JobsGiveWhatOneJobGives) {
  constexpr size_t kPage = 4096;
  Bytes mixed = RandomBytes(3001, 1, true), spanning = RandomBytes(kPage / 2, 2),
        boundaries = RandomBytes(2 * kPage - 1 - 6 * kBase.length, 3);
  for (const char* name : {"mpeg1_id3.mp3", "vorbis_chained.ogg", "wave_s16_stereo.wav",
                           "flac_16_mono_11k.flac", "aiff_sox_8_mono_8k.aiff", "adx_mono_44k.adx",
                           "awb_wave_members.awb", "mpeg1_cbr_pair.mp3", "hca_v2_mono_22k.hca"}) {
    Append(mixed, Fixture(name));
    Append(mixed,
           RandomBytes(777 + mixed.size() % 1000, static_cast<uint32_t>(mixed.size()), true));
  }
  Append(spanning, WaveOf(Frames(kBase, 24), 0x55));  // MPEG audio in a WAVE over three pages
  Append(spanning, Fixture("vorbis_chained.ogg"));
  Append(spanning, RandomBytes(3 * kPage, 4, true));
  Append(boundaries, Frames(kBase, 6));  // the next run begins at the last byte of a page
  Append(boundaries, Frames(k48kHz, 6));
  Append(boundaries, RandomBytes(4 * kPage - boundaries.size() - 1044, 5));
  Append(boundaries, WaveOf(RandomBytes(1000, 6)));  // ends where the fourth page ends
  Append(boundaries, Fixture("vorbis_chained.ogg"));
  Append(boundaries, RandomBytes(kPage, 7));
  const std::string out = dir / "jobs";
  // A tag INI file gives each stream its own tag, by its number.
  const std::string tags =
      "[general]\n[Track1]\nTitle=One\n[Track2]\nTitle=Two\n[Track3]\nTitle=3\n";
  const std::string ini = Write("tags.ini", Bytes(tags.begin(), tags.end()));
  // The log, the JSON Lines, the outputs' names and bytes.
  auto run = [&](const Args& command, const Args& in, const char* jobs, size_t page) {
    std::vector<std::string> results;
    for (const std::string json : {"", "--json"}) {
      std::filesystem::remove_all(out);
      Args args = {json,       "-j", jobs, "--page-size",     std::to_string(page),
                   "--frames", "2",  "-o", out + "/%3.3d.mp3"};
      args.insert(args.end(), in.begin(), in.end());
      if (json.empty()) args.erase(args.begin());
      args.insert(args.begin(), command.begin(), command.end());
      const Result r = Cli(args);
      results.push_back(std::to_string(r.status) + "\n" + r.out);
    }
    for (const std::string& name : FilesIn(out)) {
      const Bytes bytes = ReadBytes(out + "/" + name);
      results.push_back(name + " " + std::string(bytes.begin(), bytes.end()));
    }
    return results;
  };
  Args every;
  for (const auto& [name, bytes] :
       {std::pair{"mixed", mixed}, {"spanning", spanning}, {"boundaries", boundaries}}) {
    const Args in = {Write(name, bytes)};
    every.push_back(in.front());
    for (const Args& command :
         {Args{"all"}, Args{"mp3"}, Args{"ogg"}, Args{"wav"}, Args{"mp3", "--tag-ini", ini}}) {
      for (size_t page : {kPage, 16 * kPage}) {
        SCOPED_TRACE(std::string(name) + " " + command.back() + " " + std::to_string(page));
        const std::vector<std::string> one = run(command, in, "1", page);
        EXPECT_GT(one.size(), 2u) << one[0];
        EXPECT_EQ(run(command, in, "2", page), one);
        EXPECT_EQ(run(command, in, "3", page), one);
      }
    }
  }
  // The inputs in one run: each next one is walked ahead while the one
  // before is written.
  const std::vector<std::string> one = run({"all"}, every, "1", kPage);
  EXPECT_EQ(run({"all"}, every, "2", kPage), one);
  EXPECT_EQ(run({"all"}, every, "3", kPage), one);
}

TEST_F(CliRun, AnOutputFolderThatCannotBeWrittenInIsSaidOnceBeforeTheRun) {
  const std::string in = Write("in.bin", Embed(Frames(kBase, 5), 41));
  WriteBytes(dir / "file", Bytes{1});
  std::filesystem::create_directory(dir / "ro");
  struct Case {
    std::string pattern;
    int err;  // of the folder "ro"
    Args options;
    std::string cause;
  } cases[] = {
      {dir / "ro/%3.3d.mp3", EROFS, {"all"}, "読み取り専用のファイルシステムです"},
      {dir / "ro/%3.3d.mp3", EROFS, {"all", "--lang", "en"}, "Read-only file system"},
      {dir / "ro/new/%3.3d.mp3", EACCES, {"mp2", "--lang", "en"}, "Permission denied"},
      {dir / "no/such/%3.3d.mp3", 0, {"all", "--lang", "en"}, "No such file or directory"},
      {dir / "file/%3.3d.mp3", 0, {"flac", "--lang", "en"}, "Not a directory"},
      {dir / "file/", 0, {"all", "--lang", "en"}, "Not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern + " " + c.cause);
    RefusingEnv env(dir / "ro", c.err);
    CliTerminal terminal;
    terminal.files = &env;
    Args args = c.options;
    args.insert(args.end(), {"--json", "-o", c.pattern, in});
    Result r = Cli(args, terminal);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_TRUE(Contains(r.err, c.cause)) << r.err;
    EXPECT_EQ(FilesIn(dir / "ro"), Args{});
  }
  // A dry run writes nothing and needs no folder; a classic command alone
  // fails each stream as it always did.
  RefusingEnv env(dir / "ro", EROFS);
  CliTerminal terminal;
  terminal.files = &env;
  EXPECT_EQ(Cli({"all", "-n", "-o", dir / "ro/%3.3d.mp3", in}, terminal).status, 0);
  Result classic = Cli({"mp3", "-o", dir / "no/such/%3.3d.mp3", in}, terminal);
  EXPECT_EQ(classic.status, 1);
  EXPECT_TRUE(Contains(classic.out, "* Path not found")) << classic.out;
}

// Ctrl-C in the middle of an input: the pass says where it stopped (the
// classic lines first), the inputs after it are not read, and the program
// then ends as Ctrl-C ends it.
TEST_F(CliBinary, CtrlCEndsThePassWithWhereItStoppedAndTheInputsNotRead) {
  // A sparse input far longer than a second's walk, and one after it.
  const int64_t size = int64_t{64} << 30;
  WriteBytes(dir / "big.bin", Bytes{});
  std::filesystem::resize_file(dir / "big.bin", size);
  WriteBytes(dir / "next.bin", Embed(Frames(kBase, 5), 61));
  const std::string interrupt = "timeout -s INT --preserve-status 1";
  // `timeout` sends SIGINT to the program and to its group; two sent 20 ms
  // apart are one Ctrl-C too.
  const std::string twice =
      "sh -c '(sleep 1; kill -INT $$; sleep 0.02; kill -INT $$) & exec \"$0\" \"$@\"'";
  for (const std::string& wrapper : {interrupt, twice}) {
    Result json = Exec("--json big.bin next.bin", "/dev/null", "", "", wrapper);
    EXPECT_EQ(json.status, 128 + SIGINT) << wrapper;
    const std::vector<std::string> lines = Lines(json.out);
    ASSERT_EQ(lines.size(), 3u) << wrapper << "\n" << json.out;
    const nlohmann::json end = nlohmann::json::parse(lines[1]);
    EXPECT_EQ(end["type"], "end");
    EXPECT_EQ(end["cancelled"], true);
    EXPECT_GT(end["offset"].get<int64_t>(), 0);
    EXPECT_LT(end["offset"].get<int64_t>(), size);
    EXPECT_EQ(lines[2], R"({"type":"not_read","input":"next.bin"})");
  }

  Result log = Exec("big.bin next.bin", "/dev/null", "", "", interrupt);
  EXPECT_EQ(log.status, 128 + SIGINT);
  const std::vector<std::string> logLines = Lines(log.out);
  ASSERT_EQ(logLines.size(), 4u) << log.out;
  EXPECT_EQ(logLines[1], "Not Found (T-T)");
  EXPECT_TRUE(logLines[2].starts_with("$") &&
              logLines[2].ends_with("でキャンセルしました。その先は読んでいません"))
      << logLines[2];
  EXPECT_EQ(logLines[3], "1個の入力ファイルは読んでいません");
  Result english = Exec("--lang en big.bin next.bin", "/dev/null", "", "", interrupt);
  EXPECT_TRUE(Contains(english.out, "mp3: nothing found before the cancel\nCancelled at $"))
      << english.out;
}

}  // namespace

// --decode: a WAVE of 16-bit PCM beside every output whose codec FFmpeg
// decodes, as long as ffprobe measures the source; a reason for the others;
// nothing in a dry run; no name taken over; no file of a failed decoding.

// ffprobe's duration and channels of the first audio stream of `path` read
// by `demuxer`; a negative duration when ffprobe is absent or fails.
std::pair<double, int> Probe(const std::string& path, const std::string& demuxer) {
  const std::string command = "ffprobe -v error -f " + demuxer +
                              " -select_streams a:0 -show_entries stream=duration,channels "
                              "-of csv=p=0 '" +
                              path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, 0};
  char text[128] = {};
  const bool read = std::fgets(text, sizeof text, pipe) != nullptr;
  pclose(pipe);
  int channels = 0;
  double seconds = -1;
  if (!read || std::sscanf(text, "%d,%lf", &channels, &seconds) != 2) return {-1, 0};
  return {seconds, channels};
}

bool HasFfprobe() { return std::system("ffprobe -version >/dev/null 2>&1") == 0; }

// The channels, rate and sample frames of a WAVE of 16-bit PCM written by
// --decode, after checking its header: WAVE_FORMAT_EXTENSIBLE above two
// channels, sizes that agree with the file's.
struct WaveFacts {
  int channels = 0, rate = 0;
  int64_t frames = -1;
};
WaveFacts ReadDecodedWave(const std::string& path) {
  const Bytes w = ReadBytes(path);
  if (w.size() < 44 || std::string(w.begin(), w.begin() + 4) != "RIFF") return {};
  const int channels = Le16(w.data() + 22);
  const size_t header = channels > 2 ? 68 : 44;
  EXPECT_EQ(Le16(w.data() + 20), channels > 2 ? 0xFFFE : 1) << path;
  EXPECT_EQ(Le16(w.data() + 34), 16) << path;
  EXPECT_EQ(Le32(w.data() + 4), w.size() - 8) << path;
  EXPECT_EQ(std::string(w.begin() + header - 8, w.begin() + header - 4), "data") << path;
  EXPECT_EQ(Le32(w.data() + header - 4), w.size() - header) << path;
  return {channels, static_cast<int>(Le32(w.data() + 24)),
          static_cast<int64_t>(w.size() - header) / (2 * channels)};
}

TEST_F(CliRun, DecodeWritesAWaveOfEveryOutputFfmpegDecodes) {
  if (!HasFfprobe()) GTEST_SKIP() << "ffprobe is not installed (scripts/deps.sh)";
  const struct {
    const char* command;
    const char* option;  // what the stream needs to be found whole, or --yes
    const char* fixture;
    const char* demuxer;  // ffprobe's for the source; null: no WAVE
    const char* reason;   // in decode_error when no WAVE
  } rows[] = {
      {"mp3", "--yes", "mpeg1_cbr128.mp3", "mp3", ""},
      {"mp2", "--yes", "mp2_l2_48k_stereo.mp2", "mp3", ""},
      {"ogg", "--ogg-whole", "vorbis_stereo.ogg", "ogg", ""},
      {"ogg", "--ogg-whole", "opus_stereo_44k_input.opus", "ogg", ""},
      {"ogg", "--ogg-whole", "flac_in_ogg_stereo_22k.oga", "ogg", ""},
      {"wav", "--yes", "wave_s16_stereo.wav", "wav", ""},
      {"wav", "--yes", "wave_msadpcm_mono.wav", "wav", ""},
      {"aac", "--yes", "aac_lc_48k_6ch.aac", "aac", ""},
      {"flac", "--yes", "flac_24_stereo_96k.flac", "flac", ""},
      {"aiff", "--yes", "aiff_sox_16_stereo_22k.aiff", "aiff", ""},
      {"adx", "--yes", "adx_stereo_32k.adx", "adx", ""},
      {"hca", "--yes", "hca_v2_mono_22k.hca", "hca", ""},
      {"brstm", "--yes", "brstm_dsp_stereo_32k.brstm", "brstm", ""},
      {"mid", "--yes", "midi_abc2midi_reel_format0.mid", nullptr, "MIDI"},
      {"rmi", "--yes", "midi_riff_duet.rmi", nullptr, "MIDI"},
      {"hca", "--yes", "hca_v2_encrypted_56.hca", nullptr, "暗号化"},
      {"wav", "--yes", "wwise_vorbis_stereo_48k.wem", nullptr, "Wwise Vorbis"},
      {"wav", "--yes", "wwise_ima_mono_48k.wem", nullptr, "Wwise IMA ADPCM"},
      {"fsb", "--yes", "fsb5_pcm16_names.fsb", nullptr, "--members"},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fixture);
    const std::string in = Write("dec" + std::to_string(n), Fixture(row.fixture));
    const std::string out = dir / ("decout" + std::to_string(n++));
    // A dry run decodes nothing and says nothing of it.
    const Result dry =
        Cli({row.command, row.option, "--json", "--decode", "-n", "-o", out + "/%3.3d.x", in});
    EXPECT_FALSE(Contains(dry.out, "decode")) << dry.out;
    EXPECT_TRUE(FilesIn(out).empty());
    const Result r =
        Cli({row.command, row.option, "--json", "--decode", "-o", out + "/%3.3d.x", in});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    const nlohmann::json j = nlohmann::json::parse(lines[1]);
    const std::string output = j["output"];
    if (row.demuxer == nullptr) {
      EXPECT_FALSE(j.contains("decoded")) << j;
      EXPECT_TRUE(Contains(j.value("decode_error", ""), row.reason)) << j;
      // A failed decoding leaves no file, not even a temporary one.
      EXPECT_EQ(FilesIn(out), Args{std::filesystem::path(output).filename().string()});
      continue;
    }
    ASSERT_EQ(j.value("decoded", ""), output + ".wav") << j;
    const auto [seconds, channels] = Probe(output, row.demuxer);
    ASSERT_GT(seconds, 0);
    const WaveFacts wave = ReadDecodedWave(output + ".wav");
    EXPECT_EQ(wave.channels, channels);
    ASSERT_GT(wave.rate, 0);
    const double decoded = static_cast<double>(wave.frames) / wave.rate;
    EXPECT_NEAR(decoded, seconds, std::max(0.1, seconds * 0.05));
    // Decoding again takes over no name: the WAVE there stays as it was,
    // and the log says why none was written.
    const Bytes before = ReadBytes(output + ".wav");
    const Result again =
        Cli({row.command, row.option, "--decode", "--lang", "en", "-o", out + "/%3.3d.x", in});
    EXPECT_EQ(ReadBytes(output + ".wav"), before);
    EXPECT_TRUE(Contains(again.out, output + ": ")) << again.out;
  }
}

// An FSB5 bank of one sample of `samples` frames, mono at 22050 Hz, in the
// codec numbered `codec`, its bytes `data`.
Bytes Fsb5Of(uint32_t codec, Bytes data, int64_t samples) {
  while (data.size() % 32 != 0) data.push_back(0);
  Bytes bank = {'F', 'S', 'B', '5'};
  for (uint32_t v : {1u, 1u, 8u, 0u, static_cast<uint32_t>(data.size()), codec})
    for (int b = 0; b < 4; ++b) bank.push_back(static_cast<uint8_t>(v >> 8 * b));
  bank.resize(0x3C, 0);
  const uint64_t header = 5 << 1 | static_cast<uint64_t>(samples) << 34;  // 22050 Hz, mono
  for (int b = 0; b < 8; ++b) bank.push_back(static_cast<uint8_t>(header >> 8 * b));
  Append(bank, data);
  return bank;
}

// An FSB5 bank of one sample of `samples` frames of a tone in the codec
// numbered `codec` (1 pcm8, 2 pcm16, 3 pcm24, 4 pcm32, 5 pcmfloat), mono at
// 22050 Hz.
Bytes Fsb5Tone(uint32_t codec, int64_t samples) {
  constexpr int kBytes[] = {0, 1, 2, 3, 4, 4};
  Bytes data;
  for (int64_t i = 0; i < samples; ++i) {
    const double v = 0.5 * std::sin(static_cast<double>(i) * 0.1);
    uint32_t word = static_cast<uint32_t>(static_cast<int32_t>(v * 2147483647.0));
    if (codec == 5) {
      const float f = static_cast<float>(v);
      std::memcpy(&word, &f, 4);
    }
    for (int b = 4 - kBytes[codec]; b < 4; ++b) data.push_back(static_cast<uint8_t>(word >> 8 * b));
  }
  return Fsb5Of(codec, data, samples);
}

// --members --decode: a member of PCM behind a WAVE or an AIFF header
// decodes to exactly the bank's sample count; codec data without a container
// says why it is not decoded.
TEST_F(CliRun, DecodedMembersHoldTheSamplesOfTheBank) {
  const struct {
    Bytes bank;
    const char* extension;  // of the member; its WAVE's name adds ".wav"
    const char* reason;     // in decode_error when no WAVE is written
  } rows[] = {
      {Fsb5Tone(1, 1001), "aiff", ""},
      {Fsb5Tone(2, 1000), "wav", ""},
      {Fsb5Tone(3, 777), "wav", ""},
      {Fsb5Tone(4, 500), "wav", ""},
      {Fsb5Tone(5, 640), "wav", ""},
      {Fixture("fsb4_gcadpcm_stereo.fsb"), "brstm", ""},
      {Fsb5Of(15, RandomBytes(4096, 77, true), 4096), "raw", "Vorbis"},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(n);
    Bytes input = RandomBytes(300, 161);
    Append(input, row.bank);
    const std::string in = Write("mdec" + std::to_string(n), input);
    const std::string out = dir / ("mdecout" + std::to_string(n++));
    const Result r = Cli({"fsb", "--json", "--members", "--decode", "-o", out + "/%3.3d.x", in});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    const nlohmann::json j = nlohmann::json::parse(lines[2]);
    const std::string output = j["output"];
    EXPECT_EQ(std::filesystem::path(output).extension(), std::string(".") + row.extension);
    if (*row.reason != '\0') {
      EXPECT_TRUE(Contains(j.value("decode_error", ""), row.reason)) << j;
      EXPECT_FALSE(std::filesystem::exists(output + ".wav"));
      continue;
    }
    ASSERT_EQ(j.value("decoded", ""), output + ".wav") << j;
    const WaveFacts wave = ReadDecodedWave(output + ".wav");
    EXPECT_EQ(wave.frames, j["samples"]);
    EXPECT_EQ(wave.rate, j["rate"]);
    EXPECT_EQ(wave.channels, j["channels"]);
  }
}

// The README's recipe for many images: a task an image under GNU parallel,
// each with its own output folder, JSON Lines and report; the JSON Lines put
// together with cat, the reports with merge-reports, which never replaces a
// file and takes nothing but reports of ours.
TEST_F(CliBinary, ImagesCarvedInParallelMakeOneCase) {
  if (std::system("parallel --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no GNU parallel";
  const struct {
    std::string name, fixture;
    size_t before;
  } images[] = {{"a.img", "mpeg1_cbr128.mp3", 3000},
                {"b.img", "flac_16_stereo_44k.flac", 100},
                {"c d.img", "vorbis_mono.ogg", 7000}};
  ASSERT_EQ(std::system(("mkdir -p '" + dir / "images'").c_str()), 0);
  for (const auto& image : images) {
    Bytes bytes = RandomBytes(image.before, 41);
    Append(bytes, Fixture(image.fixture));
    Append(bytes, RandomBytes(900, 42));
    WriteBytes(dir / ("images/" + image.name), bytes);
  }
  const std::string cli = ZANDREL_CLI;
  const std::string path = "PATH='" + cli.substr(0, cli.rfind('/')) + "':\"$PATH\" ";
  const Result run = Exec(
      "--version", "/dev/null",
      "export " + path +
          " && mkdir -p reports jsonl && ls images/*.img | parallel --will-cite "
          "'mkdir -p carved/{/.} && zandrel-cli all --json --hash sha256 --report reports/{/.}.xml "
          "-o carved/{/.}/ {} > jsonl/{/.}.jsonl' && cat jsonl/*.jsonl > case.jsonl && "
          "zandrel-cli merge-reports case.xml reports/*.xml && ");
  ASSERT_EQ(run.status, 0) << run.err;
  const Bytes caseBytes = ReadBytes(dir / "case.xml");
  const std::string report(caseBytes.begin(), caseBytes.end());
  EXPECT_EQ(std::system(("xmllint --noout --schema " + FixturePath("dfxml_report.xsd") + " '" +
                         dir / "case.xml' 2>/dev/null")
                            .c_str()),
            0)
      << report;
  const Bytes lines = ReadBytes(dir / "case.jsonl");
  size_t source = 0, object = 0, n = 0;
  for (const std::string& line : Lines(std::string(lines.begin(), lines.end()))) {
    const nlohmann::json j = nlohmann::json::parse(line);
    if (j["type"] != "stream") continue;
    ASSERT_LT(n, std::size(images));
    const auto& image = images[n++];
    const std::string stem = image.name.substr(0, image.name.size() - 4);
    EXPECT_EQ(j["input"], "images/" + image.name);
    const std::string output = j["output"];
    EXPECT_EQ(output.rfind("carved/" + stem + "/", 0), 0u) << output;
    const Bytes file = ReadBytes(dir / output);
    EXPECT_EQ(file, Fixture(image.fixture));
    EXPECT_EQ(j["sha256"], DigestHex("sha256", file));
    EXPECT_EQ(Between(report, "<image_filename>", "</image_filename>", source), j["input"]);
    EXPECT_EQ(Between(report, "<!-- from ", " -->", object), "reports/" + stem + ".xml");
    const std::string fileObject = Between(report, "<fileobject>", "</fileobject>", object);
    size_t at = 0;
    EXPECT_EQ(Between(fileObject, "<filename>", "</filename>", at), output);
    EXPECT_EQ(Between(fileObject, "img_offset=\"", "\"", at), std::to_string(image.before));
    EXPECT_EQ(Between(fileObject, "<hashdigest type=\"sha256\">", "<", at), j["sha256"]);
  }
  EXPECT_EQ(n, std::size(images));
  EXPECT_EQ(report.find("<source>", source), std::string::npos) << "a source twice";
  EXPECT_EQ(report.find("<fileobject>", object), std::string::npos) << "an object twice";

  const struct {
    std::string args;
    int status;
    std::string err;
  } refusals[] = {
      {"merge-reports case.xml reports/a.xml", 1, "case.xml"},  // never over a file
      {"merge-reports new.xml reports/a.xml case.jsonl", 2, "case.jsonl: not a report"},
      {"merge-reports new.xml reports/a.xml missing.xml", 1, "missing.xml"},
      {"merge-reports new.xml", 2, "at least one report"},
  };
  for (const auto& r : refusals) {
    const Result refused = Exec(r.args);
    EXPECT_EQ(refused.status, r.status) << r.args;
    EXPECT_NE(refused.err.find(r.err), std::string::npos) << refused.err;
    EXPECT_EQ(ReadBytes(dir / "case.xml"), caseBytes);
    EXPECT_FALSE(std::filesystem::exists(dir / "new.xml")) << r.args;
  }
}

// An AWB (AFS2) bank of `members`: version 2, offsets of 4 bytes, members
// aligned to 32 bytes.
Bytes Awb(const std::vector<Bytes>& members) {
  Bytes bank = {'A', 'F', 'S', '2', 2, 4, 2, 0};
  const auto put = [&bank](uint32_t v, int bytes) {
    for (int b = 0; b < bytes; ++b) bank.push_back(static_cast<uint8_t>(v >> 8 * b));
  };
  put(static_cast<uint32_t>(members.size()), 4);
  put(0x20, 2);
  put(0, 2);
  for (size_t i = 0; i < members.size(); ++i) put(static_cast<uint32_t>(i), 2);
  uint32_t at = static_cast<uint32_t>(16 + 2 * members.size() + 4 * (members.size() + 1));
  Bytes body;
  put(at, 4);
  for (const Bytes& m : members) {
    const uint32_t start = (at + 31) / 32 * 32;
    body.resize(body.size() + start - at);
    Append(body, m);
    at = start + static_cast<uint32_t>(m.size());
    put(at, 4);
  }
  Append(bank, body);
  return bank;
}

// The issue's bank mix: a bank of every kind, members of every codec a bank
// here holds, in one input between random bytes, through `all --members
// --decode`. Files by themselves come out as their bytes in the bank, raw
// data likewise and not playable; PCM, ADPCM and DSP behind a header decode
// to the bank's samples; every decoded WAVE lasts what ffprobe measures of
// its member.
TEST_F(CliRun, EveryBankKindInOneInputComesOutMemberByMember) {
  if (!HasFfprobe()) GTEST_SKIP() << "no ffprobe";
  // Same: the bank's bytes; Samples: decoded to the bank's samples; Ima:
  // 65 a block of 64 (FFmpeg's IMA WAV decoder gives each block's header
  // sample too); Plays: decoded, its length its own; Raw: not playable.
  enum Check { Same, Samples, Ima, Plays, Raw };
  struct Want {
    const char* codec;
    const char* name;
    Check check;
  };
  const Bytes mp3 = Fixture("mpeg1_cbr128.mp3");
  const struct {
    Bytes bank;
    std::vector<Want> members;
  } rows[] = {
      {Fixture("fsb4_gcadpcm_stereo.fsb"), {{"dsp", "stereo330", Samples}}},
      {Fixture("fsb4_pcm16_two.fsb"),
       {{"pcm16", "tone440", Samples}, {"pcm16", "tone330", Samples}}},
      {Fixture("fsb5_pcm16_names.fsb"),
       {{"pcm16", "tone440", Samples},
        {"pcm16", "tone660", Samples},
        {"pcm16", "tone880", Samples}}},
      {Fixture("fsb5_dsp_two.fsb"), {{"dsp", "dsp440", Samples}, {"dsp", "dsp330", Samples}}},
      {Fixture("fsb5_xbox_ima_two.fsb"),
       {{"imaadpcm", "ima440", Ima}, {"imaadpcm", "ima330", Ima}}},
      {Fsb5Of(11, mp3, static_cast<int64_t>(mp3.size())), {{"mpeg", "", Plays}}},
      {Fsb5Of(15, RandomBytes(4096, 78, true), 4096), {{"vorbis", "", Raw}}},
      {Fsb5Of(10, RandomBytes(4096, 79, true), 4096), {{"xma", "", Plays}}},
      {Awb({Fixture("hca_v2_mono_22k.hca"), Fixture("adx_mono_44k.adx"),
            Slice(Fixture("awb_wave_members.awb"), 64, 8864)}),
       {{"hca", "", Same}, {"adx", "", Same}, {"wav", "", Same}}},
      {Fixture("wwise_bank_two_pcm.bnk"), {{"wem", "", Same}, {"wem", "", Same}}},
      {Fixture("wwise_package_externals.pck"),
       {{"bnk", "1355168291", Same},
        {"bnk", "3991942870_english(us)", Same},
        {"wem", "100", Same},
        {"wem", "100_english(us)", Same},
        {"wem", "4000000000", Same},
        {"wem", "78187493530", Same}}},
      {Fixture("xwb_v46_pcm_adpcm_names.xwb"),
       {{"pcm16", "tone_pcm16", Samples},
        {"msadpcm", "tone_adpcm", Samples},
        {"pcm8u", "tone_pcm8", Samples}}},
      {Fixture("xwb_v40_big_endian_pcm_xma.xwb"), {{"pcm16be", "", Samples}, {"xma", "", Plays}}},
  };
  Bytes input;
  std::vector<Want> wanted;
  uint32_t seed = 500;
  for (const auto& row : rows) {
    Append(input, RandomBytes(1000 + seed % 7 * 37, seed));
    ++seed;
    Append(input, row.bank);
    wanted.insert(wanted.end(), row.members.begin(), row.members.end());
  }
  Append(input, RandomBytes(999, seed));
  const std::string in = Write("mix", input), out = dir / "mixout";
  const Result r = Cli({"all", "--json", "--members", "--decode", "-o", out + "/%3.3d.x", in});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<nlohmann::json> members;
  for (const std::string& text : Lines(r.out)) {
    const nlohmann::json j = nlohmann::json::parse(text);
    if (j["type"] == "member") members.push_back(j);
  }
  ASSERT_EQ(members.size(), wanted.size()) << r.out;
  for (size_t i = 0; i < members.size(); ++i) {
    const nlohmann::json& j = members[i];
    const Want& want = wanted[i];
    SCOPED_TRACE(j.dump());
    EXPECT_EQ(j["codec"], want.codec);
    EXPECT_EQ(j["name"], want.name);
    const Bytes member = Slice(ReadBytes(j["parent"]), j["offset"], j["length"]);
    const Bytes file = ReadBytes(j["output"]);
    EXPECT_EQ(j.value("playable", true), want.check != Raw);
    if (want.check == Same || want.check == Raw) {
      EXPECT_EQ(file, member);
    }
    // XMA of any bank: behind a RIFF header of XMA2 (0x166).
    if (want.codec == std::string("xma")) {
      ASSERT_GT(file.size(), member.size() + 22);
      EXPECT_EQ(Le16(file.data() + 20), 0x166);
      EXPECT_TRUE(std::equal(member.begin(), member.end(), file.end() - std::ssize(member)));
    }
    // What is not decoded says why; what a header made playable is decoded.
    if (!j.contains("decoded")) {
      EXPECT_NE(j.value("decode_error", ""), "");
      EXPECT_TRUE(want.check == Same || want.check == Plays || want.check == Raw);
      continue;
    }
    EXPECT_NE(want.check, Raw);
    const WaveFacts wave = ReadDecodedWave(j["decoded"]);
    const int64_t samples = j.value("samples", int64_t{-1});
    if (want.check == Samples) {
      EXPECT_EQ(wave.frames, samples);
    }
    if (want.check == Ima) {
      EXPECT_EQ(wave.frames, (samples + 63) / 64 * 65);
    }
    const std::string file_name = j["output"];
    const std::string extension = file_name.substr(file_name.rfind('.') + 1);
    const double probed =
        Probe(file_name, extension == "brstm" || extension == "mp3" || extension == "aiff" ||
                                 extension == "hca" || extension == "adx"
                             ? extension
                             : "wav")
            .first;
    const double seconds = static_cast<double>(wave.frames) / wave.rate;
    EXPECT_NEAR(seconds, probed, std::max(0.1, probed * 0.05));
  }
}
