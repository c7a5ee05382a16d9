// The checksum command with every file operation made to fail in turn, and
// the command line given inputs that are not plain files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/cli_run.h"
#include "platform/descriptor.h"
#include "platform/fault.h"
#include "platform/folders.h"
#include "platform/pending_output.h"
#include "platform/text_file.h"
#include "support/test_files.h"

namespace {

struct Result {
  int status;
  std::string out, err;
};

// The command line `args`, its files seen through `env`.
Result Cli(const std::vector<std::string>& args, bool errIsTerminal = false,
           Env& env = Env::System()) {
  std::ostringstream out, err;
  CliTerminal terminal;
  terminal.errIsTerminal = errIsTerminal;
  terminal.files = &env;
  int status = RunCliCommand(args, out, err, terminal);
  return {status, out.str(), err.str()};
}

TEST(CliFaults, EveryChecksumOperationFailsCleanly) {
  TempDir dir;
  // Large enough for several reads, and two inputs.
  WriteBytes(dir / "a.bin", RandomBytes(300000, 1, true));
  WriteBytes(dir / "b.bin", RandomBytes(1000, 2, true));
  const std::vector<std::string> args = {"crc", dir / "a.bin", dir / "b.bin"};

  FaultPlan counter;
  Result clean;
  clean = Cli(args, false, counter);
  ASSERT_EQ(clean.status, 0);
  ASSERT_EQ(clean.out.size(), std::string("XXXXXXXX, XXXXXXXX\n").size());

  const std::string message = std::strerror(EIO);
  int runs = 0;
  for (FileOp op : {FileOp::Open, FileOp::Seek, FileOp::Read, FileOp::Size, FileOp::Close}) {
    for (int64_t n = 1; n <= counter.count(op); ++n) {
      SCOPED_TRACE(std::to_string(static_cast<int>(op)) + " #" + std::to_string(n));
      FaultPlan plan(op, n, EIO);
      Result r = Cli(args, false, plan);
      ++runs;
      ASSERT_TRUE(plan.fired());
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "") << "no partial list";
      EXPECT_NE(r.err.find(message), std::string::npos);
      EXPECT_EQ(OpenFileCount(), 0);
    }
  }
  EXPECT_GT(runs, 5);
}

TEST(CliFaults, DirectoriesSpecialAndVanishedInputsAreReportedAndTheNextIsScanned) {
  TempDir dir;
  Bytes data = RandomBytes(5000, 3);
  Append(data, Fixture("mpeg1_cbr128.mp3"));
  WriteBytes(dir / "good.bin", data);
  Result r = Cli({"mp3", "-o", dir / "out/%3.3d.mp3", dir.path(), "/dev/null", dir / "gone.bin",
                  dir / "good.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(dir.path() + ": Is a folder, not a file"), std::string::npos);
  EXPECT_EQ(r.err.find("入力ファイルが存在しません(" + dir.path() + ")"), std::string::npos);
  EXPECT_NE(r.err.find("Not a regular file"), std::string::npos);
  EXPECT_NE(r.err.find("入力ファイルが存在しません(" + dir / "gone.bin" + ")"), std::string::npos);
  EXPECT_NE(r.out.find("* Not a regular file"), std::string::npos);
  EXPECT_NE(r.out.find("1個のmp3を発見。うち1個を抽出しました"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir / "out/001.mp3"), Fixture("mpeg1_cbr128.mp3"));
  EXPECT_EQ(ReadBytes(dir / "good.bin"), data);

  Result crc = Cli({"crc", "/dev/null"});
  EXPECT_EQ(crc.status, 1);
  EXPECT_NE(crc.err.find("Not a regular file"), std::string::npos);
  crc = Cli({"crc", dir.path()});
  EXPECT_EQ(crc.status, 1);
  EXPECT_NE(crc.err.find(dir.path() + ": Is a folder, not a file"), std::string::npos);
}

int g_signalToRaise = 0;

// A copy cut short: by SIGTERM, which ends the program, by SIGKILL, which no
// program can handle, or by a file-size limit, which fails that stream only.
// The name of the stream cut short holds what it held before (nothing, when
// it was new), and no temporary file stays behind. SIGINT (Ctrl-C) stops the
// run as the window's Cancel does: the stream in copy comes out whole, no
// other, and the program then ends by SIGINT. On a terminal, the progress
// line says the run was cancelled.
TEST(CliFaults, ACopyCutShortLeavesNoPartialOutput) {
  TempDir dir;
  auto frames = [](int count) {
    Bytes bytes;
    for (int i = 0; i < count; ++i) {
      Bytes frame(417, 0);  // MPEG-1 Layer III, 128 kbit/s, 44100 Hz
      frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x64;
      Append(bytes, frame);
    }
    return bytes;
  };
  const Bytes big = frames(800), small = frames(5);  // 333 600 and 2 085 bytes
  Bytes data = RandomBytes(1000, 1);
  Append(data, big);
  Append(data, RandomBytes(1000, 2));
  Append(data, small);
  Append(data, RandomBytes(1000, 3));
  WriteBytes(dir / "in.bin", data);
  const Bytes older = RandomBytes(5000, 4);

  struct Case {
    const char* what;
    int signal;             // raised in the middle of the first copy, or 0
    rlim_t limit;           // on the size of a file written
    int endSignal;          // the signal that ends the program, or 0
    bool smallDone;         // the second stream written
    bool older;             // an older file under the first stream's name
    bool terminal = false;  // the error stream is a terminal
  };
  const auto stopsRun = [](const Case& c) { return c.signal == SIGINT; };
  const Case cases[] = {
      {"SIGINT", SIGINT, RLIM_INFINITY, SIGINT, false, true},
      {"SIGTERM", SIGTERM, RLIM_INFINITY, SIGTERM, false, true},
      {"SIGINT under a new name", SIGINT, RLIM_INFINITY, SIGINT, false, false},
      {"SIGKILL under a new name", SIGKILL, RLIM_INFINITY, SIGKILL, false, false},
      {"file-size limit", 0, 100000, 0, true, true},
      {"file-size limit under a new name", 0, 100000, 0, true, false},
      {"SIGINT on a terminal", SIGINT, RLIM_INFINITY, SIGINT, false, true, true},
      {"SIGKILL on a terminal", SIGKILL, RLIM_INFINITY, SIGKILL, false, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir / "out");
    std::filesystem::create_directory(dir / "out");
    if (c.older) WriteBytes(dir / "out/001.mp3", older);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // What reaches the error stream's descriptor, a signal's note too.
      int errFile = ::open((dir / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (errFile < 0 || ::dup2(errFile, STDERR_FILENO) < 0) ::_exit(43);
      PrepareOutputSignals();
      rlimit limit{c.limit, c.limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      g_signalToRaise = c.signal;
      FaultPlan plan(FileOp::Write, 3, 0);  // 128 KiB are on the disk by then
      if (c.signal != 0) plan.setAction([] { ::raise(g_signalToRaise); });
      Result r = Cli({"-o", dir / "out/%3.3d.mp3", dir / "in.bin"}, c.terminal, plan);
      ::_exit(r.status == 1 && r.err.find("File too large") != std::string::npos ? 42 : r.status);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (c.endSignal != 0) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.endSignal) << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << status;
    }
    const Bytes err = ReadBytes(dir / "err.txt");
    const std::string note = "\rキャンセルしました\n";
    EXPECT_EQ(std::string(err.begin(), err.end()).ends_with(note),
              c.terminal && c.endSignal != SIGKILL);
    EXPECT_EQ(FileExists(dir / "out/001.mp3"), c.older || stopsRun(c));
    if (stopsRun(c)) {
      EXPECT_EQ(ReadBytes(dir / "out/001.mp3"), big);
    } else if (c.older) {
      EXPECT_EQ(ReadBytes(dir / "out/001.mp3"), older);
    }
    EXPECT_EQ(FileExists(dir / "out/002.mp3"), c.smallDone);
    if (c.smallDone) {
      EXPECT_EQ(ReadBytes(dir / "out/002.mp3"), small);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir / "out"))
      EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos);
    if (!c.older && !c.smallDone && !stopsRun(c)) {
      EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
    }
  }
  EXPECT_EQ(ReadBytes(dir / "in.bin"), data);
}

// MPEG-1 Layer III frames of 417 bytes (128 kbit/s, 44100 Hz), each frame's
// first data byte `tag`, so that streams of different tags differ.
Bytes Mp3Frames(int count, uint8_t tag = 0) {
  Bytes bytes;
  for (int i = 0; i < count; ++i) {
    Bytes frame(417, 0);
    frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x64, frame[4] = tag;
    Append(bytes, frame);
  }
  return bytes;
}

std::string g_takenName;

// A name taken by another program while its stream is being copied: with
// --no-clobber the file it made is kept and the stream fails, naming it;
// without, the stream replaces it, as any older file.
TEST(CliFaults, ANameTakenDuringTheCopyIsKeptUnderNoClobber) {
  TempDir dir;
  const Bytes first = Mp3Frames(300, 1), second = Mp3Frames(6, 2);
  Bytes data = RandomBytes(1000, 1);
  Append(data, first);
  Append(data, RandomBytes(1000, 2));
  Append(data, second);
  WriteBytes(dir / "in.bin", data);
  g_takenName = dir / "out/001.mp3";
  const Bytes theirs = RandomBytes(5000, 4);
  struct Case {
    bool noClobber;
    FileOp when;  // the first operation of that kind makes the other file
  };
  for (const Case& c : {Case{true, FileOp::Write}, Case{true, FileOp::Rename},
                        Case{false, FileOp::Write}, Case{false, FileOp::Rename}}) {
    SCOPED_TRACE(std::string(c.noClobber ? "--no-clobber, " : "") +
                 (c.when == FileOp::Write ? "taken while copying" : "taken at the commit"));
    std::filesystem::remove_all(dir / "out");
    std::vector<std::string> args = {"-o", dir / "out/%3.3d.mp3", dir / "in.bin"};
    if (c.noClobber) args.insert(args.begin(), "--no-clobber");
    FaultPlan plan(c.when, 1, 0);
    plan.setAction([] {
      std::filesystem::create_directories(std::filesystem::path(g_takenName).parent_path());
      if (!std::filesystem::exists(g_takenName)) WriteBytes(g_takenName, RandomBytes(5000, 4));
    });
    Result r = Cli(args, false, plan);
    ASSERT_TRUE(plan.fired());
    EXPECT_EQ(ReadBytes(dir / "out/002.mp3"), second);
    if (c.noClobber) {
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("出力ファイルが既に存在します(" + g_takenName + ")\n1番目"),
                std::string::npos)
          << r.err;
      EXPECT_EQ(ReadBytes(g_takenName), theirs);
    } else {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(ReadBytes(g_takenName), first);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir / "out"))
      EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos);
  }
  EXPECT_EQ(ReadBytes(dir / "in.bin"), data);
}

// Two runs of `all --no-clobber` at once on one pattern: every name is
// written by one of them only, and holds the stream that run says it wrote.
TEST(CliFaults, TwoRunsAtOnceUnderNoClobberNeverWriteOneName) {
  TempDir dir;
  constexpr int kStreams = 24;
  std::vector<Bytes> streams;
  Bytes data;
  for (int i = 0; i < kStreams; ++i) {
    Append(data, RandomBytes(700, 30 + i));
    streams.push_back(Mp3Frames(5 + i, static_cast<uint8_t>(i + 1)));
    Append(data, streams.back());
  }
  WriteBytes(dir / "in.bin", data);
  pid_t children[2];
  for (int k = 0; k < 2; ++k) {
    children[k] = ::fork();
    ASSERT_GE(children[k], 0);
    if (children[k] == 0) {
      Result r =
          Cli({"all", "--no-clobber", "--json", "-o", dir / "out/%3.3d.mp3", dir / "in.bin"});
      WriteBytes(dir / ("json" + std::to_string(k)), Bytes(r.out.begin(), r.out.end()));
      ::_exit(r.status);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
  }
  std::map<std::string, int> writers;
  int written = 0;
  for (int k = 0; k < 2; ++k) {
    const Bytes json = ReadBytes(dir / ("json" + std::to_string(k)));
    std::istringstream lines(std::string(json.begin(), json.end()));
    for (std::string line; std::getline(lines, line);) {
      if (line.find("\"type\":\"stream\"") == std::string::npos ||
          line.find("\"status\":\"written\"") == std::string::npos) {
        continue;
      }
      const size_t at = line.find("\"output\":\"") + 10;
      const std::string name = line.substr(at, line.find('"', at) - at);
      const int number = std::stoi(line.substr(line.find("\"number\":") + 9));
      ++writers[name];
      ++written;
      EXPECT_EQ(ReadBytes(name), streams.at(number - 1)) << name;
    }
  }
  EXPECT_EQ(written, kStreams);
  for (const auto& [name, count] : writers) EXPECT_EQ(count, 1) << name;
}

// The resident bytes of this process ("VmRSS") or their peak ("VmHWM"), -1
// when unknown.
int64_t StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field + ":")) return std::stoll(line.substr(field.size() + 1)) * 1024;
  }
  return -1;
}

// A list of inputs on standard input is bounded as a list file is: a line
// larger than the bound is refused before it is held whole, and not echoed;
// one at the bound of the shortest names is held in a small multiple of its
// size (a tag INI file refuses the run once the names are held).
TEST(CliFaults, AnInputListOnStandardInputIsBoundedAsAListFileIs) {
  struct Case {
    const char* what;
    std::string line;
    size_t lines;
    int status;
  };
  const Case cases[] = {
      {"one line past the bound", std::string(kMaxTextFileSize + 1, 'a') + "\n", 1, 2},
      {"one line of 200 000 bytes", std::string(200000, 'a') + "\n", 1, 1},
      {"the bound in names of one byte", "a\n", kMaxTextFileSize / 2, 2},
      {"the bound in names of two bytes and CR LF", "ab\r\n", kMaxTextFileSize / 4, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text;
    text.reserve(c.line.size() * c.lines);
    for (size_t i = 0; i < c.lines; ++i) text += c.line;
    std::istringstream list(std::move(text));
    CliTerminal terminal;
    terminal.standardInput = &list;
    std::ostringstream out, err;
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const int64_t before = StatusBytes("VmRSS");
    EXPECT_EQ(
        RunCliCommand({"--tag-ini", "/nonexistent/t.ini", "--files-from", "-"}, out, err, terminal),
        c.status);
    if (c.status == 2 && c.lines == 1) {
      EXPECT_EQ(err.str(), "zandrel-cli: cannot read the input list -: File too large\n");
    }
    const int64_t peak = StatusBytes("VmHWM");
    if (before < 0 || peak < 0) continue;  // no /proc
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory aside and pads every block: the
    // peak says nothing of the program's own; the optimised build checks it.
    continue;
#endif
    EXPECT_LE(peak - before, 8 * static_cast<int64_t>(c.line.size() * c.lines));
  }
}

}  // namespace

// While a run stops on Ctrl-C, SIGINTs sent together (as `timeout` sends
// one to the program and one to its group) are one; one that comes later
// ends the program at once.
TEST(CliFaults, InterruptsSentTogetherAreOneCtrlC) {
  struct Case {
    int gapMs;
    bool ends;
  };
  for (const Case& c : {Case{0, false}, Case{50, false}, Case{400, true}}) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PrepareOutputSignals();
      StopOnInterrupt(true);
      ::raise(SIGINT);
      ::usleep(static_cast<useconds_t>(c.gapMs) * 1000);
      ::raise(SIGINT);
      ::_exit(InterruptAsked() ? 42 : 43);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (c.ends) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << c.gapMs << " " << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << c.gapMs << " " << status;
    }
  }
}
