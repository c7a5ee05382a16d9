// The system calls of the file layer go through the Env it is given: an Env
// whose calls fail as a system's can shows what the layer makes of each
// failure.
#include "platform/env.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/descriptor.h"
#include "platform/folders.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "support/test_files.h"

namespace {

// The system calls an Env can be made to fail here; OpenUnnamed is an open
// of a file without a name (O_TMPFILE).
enum class Call {
  OpenUnnamed,
  Pread,
  Write,
  CopyFileRange,
  Close,
  Rename,
  RenameNoReplace,
  LinkFollow,
  Mkdir,
  Opendir,
  Lstat
};

// `times` calls of a kind in a row, the first of them the `nth`, fail with
// `err`; a CopyFileRange with an errno of 0 copies nothing instead.
struct Rule {
  Call call;
  int err;
  int nth = 1;
  int times = 1;
};

class FailingCalls : public Env {
 public:
  explicit FailingCalls(std::vector<Rule> rules)
      : rules_(std::move(rules)), seen_(rules_.size(), 0) {}

  int open(const char* path, int flags, mode_t mode) override {
    if ((flags & O_TMPFILE) == O_TMPFILE && fails(Call::OpenUnnamed)) return -1;
    return Env::open(path, flags, mode);
  }
  ssize_t pread(int fd, void* dst, size_t count, off_t offset) override {
    return fails(Call::Pread) ? -1 : Env::pread(fd, dst, count, offset);
  }
  ssize_t write(int fd, const void* src, size_t count) override {
    return fails(Call::Write) ? -1 : Env::write(fd, src, count);
  }
  ssize_t copyFileRange(int in, loff_t* inOffset, int out, size_t count) override {
    if (!fails(Call::CopyFileRange)) return Env::copyFileRange(in, inOffset, out, count);
    return errno == 0 ? 0 : -1;
  }
  int close(int fd) override {
    const int result = Env::close(fd);  // closed all the same, as the system does
    return fails(Call::Close) ? -1 : result;
  }
  int rename(const char* from, const char* to) override {
    return fails(Call::Rename) ? -1 : Env::rename(from, to);
  }
  int renameNoReplace(const char* from, const char* to) override {
    return fails(Call::RenameNoReplace) ? -1 : Env::renameNoReplace(from, to);
  }
  int linkFollow(const char* from, const char* to) override {
    return fails(Call::LinkFollow) ? -1 : Env::linkFollow(from, to);
  }
  int mkdir(const char* path, mode_t mode) override {
    return fails(Call::Mkdir) ? -1 : Env::mkdir(path, mode);
  }
  DIR* opendir(const char* path) override {
    return fails(Call::Opendir) ? nullptr : Env::opendir(path);
  }
  int lstat(const char* path, struct stat* st) override {
    return fails(Call::Lstat) ? -1 : Env::lstat(path, st);
  }

 private:
  bool fails(Call call) {
    for (size_t i = 0; i < rules_.size(); ++i) {
      const Rule& r = rules_[i];
      if (r.call != call) continue;
      ++seen_[i];
      if (seen_[i] < r.nth || seen_[i] >= r.nth + r.times) continue;
      errno = r.err;
      return true;
    }
    return false;
  }

  std::vector<Rule> rules_;
  std::vector<int> seen_;
};

constexpr OutputMode kKeep = OutputMode::Keep;
constexpr OutputMode kReplace = OutputMode::Replace;

// What became of an operation: the IoError's code and whether it named the
// file it was about (0 and true when it worked).
struct Outcome {
  int code = 0;
  bool namesFile = true;
};

template <class F>
Outcome Try(F f, const std::string& file) {
  try {
    f();
  } catch (const IoError& e) {
    return {e.code(), e.path() == file};
  }
  return {};
}

TEST(FileEnv, ReadsAndCopiesMeetFailingSystemCalls) {
  struct Case {
    const char* name;
    std::vector<Rule> rules;
    bool copy;  // a copy to an output, else a read of the whole input
    int code;   // the IoError of the read or the copy, naming its file, or 0
  } cases[] = {
      {"read fails", {{Call::Pread, EIO}}, false, kIoOsBase + EIO},
      {"read interrupted", {{Call::Pread, EINTR, 1, 3}}, false, 0},
      {"later read fails", {{Call::Pread, EIO, 2}}, false, kIoOsBase + EIO},
      {"kernel copy across filesystems", {{Call::CopyFileRange, EXDEV}}, true, 0},
      {"kernel copy unsupported", {{Call::CopyFileRange, ENOSYS}}, true, 0},
      {"kernel copy copies nothing", {{Call::CopyFileRange, 0}}, true, 0},
      {"kernel copy interrupted", {{Call::CopyFileRange, EINTR, 1, 2}}, true, 0},
      {"kernel copy fails: tried through the buffers", {{Call::CopyFileRange, EIO}}, true, 0},
      {"kernel copy on a full disk", {{Call::CopyFileRange, ENOSPC}}, true, kIoDiskFull},
      {"kernel copy past a size limit", {{Call::CopyFileRange, EFBIG}}, true, kIoOsBase + EFBIG},
      {"copy through the buffers on a full disk",
       {{Call::CopyFileRange, EXDEV}, {Call::Write, ENOSPC}},
       true,
       kIoDiskFull},
      {"copy through the buffers, a read fails",
       {{Call::CopyFileRange, EXDEV}, {Call::Pread, EIO, 2}},
       true,
       kIoOsBase + EIO},
  };
  TempDir dir;
  const Bytes data = RandomBytes(400000, 31, true);
  const std::string in = dir / "in.bin", out = dir / "out.bin";
  WriteBytes(in, data);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(out);
    FailingCalls env(c.rules);
    Bytes got(data.size());
    Outcome outcome;
    {
      InputFile input = InputFile::OpenRead(in, env);
      OutputFile output = OutputFile::Create(out, env);
      if (c.copy) {
        const bool readFails = c.rules.back().call == Call::Pread;
        outcome = Try(
            [&] {
              EXPECT_EQ(input.copyTo(output, 500000), 400000);
              output.close();
            },
            readFails ? in : out);
      } else {
        outcome = Try([&] { input.readExact(got.data(), 400000); }, in);
      }
    }
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_TRUE(outcome.namesFile);
    EXPECT_EQ(OpenFileCount(), 0);
    if (outcome.code != 0) continue;
    EXPECT_EQ(c.copy ? ReadBytes(out) : got, data);
  }
}

TEST(FileEnv, OutputsMeetFailingSystemCalls) {
  struct Case {
    const char* name;
    std::vector<Rule> rules;
    bool older;       // a file holds the name before
    OutputMode mode;  // of the output
    int code;         // the IoError of the output, naming it, or 0
    bool holdsNew;    // the name holds the output afterwards (else what it held)
  } cases[] = {
      {"write fails", {{Call::Write, EIO}}, false, kReplace, kIoOsBase + EIO, false},
      {"write on a full disk", {{Call::Write, ENOSPC}}, true, kReplace, kIoDiskFull, false},
      {"close fails: the name is not kept",
       {{Call::Close, EIO}},
       false,
       kReplace,
       kIoOsBase + EIO,
       false},
      {"close interrupted", {{Call::Close, EINTR}}, false, kReplace, 0, true},
      {"close fails over an older file",
       {{Call::Close, EIO}},
       true,
       kReplace,
       kIoOsBase + EIO,
       false},
      {"rename refused", {{Call::Rename, EACCES}}, true, kReplace, kIoAccessDenied, false},
      {"link refused", {{Call::LinkFollow, EACCES}}, false, kReplace, kIoAccessDenied, false},
      {"name taken meanwhile: replaced", {{Call::LinkFollow, EEXIST}}, false, kReplace, 0, true},
      {"name taken meanwhile: kept",
       {{Call::LinkFollow, EEXIST}},
       false,
       kKeep,
       kIoOutputExists,
       false},
      {"no files without a name: a temporary file",
       {{Call::OpenUnnamed, EOPNOTSUPP}},
       false,
       kKeep,
       0,
       true},
      {"no rename that replaces nothing: a link",
       {{Call::OpenUnnamed, EOPNOTSUPP}, {Call::RenameNoReplace, EINVAL}},
       false,
       kKeep,
       0,
       true},
      {"temporary file, name taken meanwhile: kept",
       {{Call::OpenUnnamed, EOPNOTSUPP}, {Call::RenameNoReplace, EEXIST}},
       false,
       kKeep,
       kIoOutputExists,
       false},
  };
  const Bytes older(500, 3), data = RandomBytes(100000, 32, true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string name = dir / "o.bin";
    if (c.older) WriteBytes(name, older);
    FailingCalls env(c.rules);
    Outcome outcome;
    {
      outcome = Try(
          [&] {
            OutputFile o = OutputFile::CreateOutput(name, c.mode, env);
            o.write(data.data(), static_cast<int64_t>(data.size()));
            o.commit();
          },
          name);
    }
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_TRUE(outcome.namesFile);
    EXPECT_EQ(OpenFileCount(), 0);
    const bool held = std::filesystem::exists(name);
    EXPECT_EQ(held, c.holdsNew || c.older);
    if (held) {
      EXPECT_EQ(ReadBytes(name), c.holdsNew ? data : older);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      EXPECT_EQ(entry.path().filename(), "o.bin");
  }
}

// Folders made and listed and names looked at through an Env: each failure
// is thrown or told with the name it concerns, and a listing goes on past a
// folder or a name it cannot read.
TEST(FileEnv, FoldersAndNamesMeetFailingSystemCalls) {
  enum class What { MakeFolder, List, Output };
  struct Case {
    const char* name;
    std::vector<Rule> rules;
    What what;
    int code;              // the IoError thrown or told, or 0
    const char* concerns;  // the name it concerns, below the folder
    size_t listed;         // the files a listing gives
  } cases[] = {
      {"a folder cannot be made",
       {{Call::Mkdir, EACCES}},
       What::MakeFolder,
       kIoAccessDenied,
       "new",
       0},
      {"the top folder cannot be listed",
       {{Call::Opendir, EACCES}},
       What::List,
       kIoAccessDenied,
       "",
       0},
      {"a folder below cannot be listed",
       {{Call::Opendir, EIO, 2}},
       What::List,
       kIoOsBase + EIO,
       "/a",
       1},
      {"a name below cannot be looked at",
       {{Call::Lstat, EIO}},
       What::List,
       kIoOsBase + EIO,
       "/a",
       1},
      {"an output's name cannot be looked at",
       {{Call::Lstat, EIO}},
       What::Output,
       kIoOsBase + EIO,
       "/o.bin",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directory(dir / "a");
    WriteBytes(dir / "a/x.bin", Bytes(10, 1));
    WriteBytes(dir / "b.bin", Bytes(10, 2));
    FailingCalls env(c.rules);
    const std::string concerns =
        c.what == What::MakeFolder ? dir / c.concerns : dir.path() + c.concerns;
    Outcome outcome;
    std::vector<std::string> files;
    if (c.what == What::List) {
      files = FilesBelow(
          dir.path(),
          [&](const IoError& e) {
            outcome = {e.code(), e.path() == concerns};
          },
          nullptr, env);
    } else if (c.what == What::MakeFolder) {
      outcome = Try([&] { CreateDir(concerns, env); }, concerns);
      EXPECT_FALSE(std::filesystem::exists(concerns));
    } else {
      outcome = Try([&] { OutputFile::CreateOutput(concerns, kReplace, env).commit(); }, concerns);
      EXPECT_FALSE(std::filesystem::exists(concerns));
    }
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_TRUE(outcome.namesFile);
    EXPECT_EQ(files.size(), c.listed);
    EXPECT_EQ(OpenFileCount(), 0);
  }
}

}  // namespace
