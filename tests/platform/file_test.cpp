#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/descriptor.h"
#include "platform/ewf_image.h"
#include "platform/fault.h"
#include "platform/folders.h"
#include "platform/image_input.h"
#include "platform/image_segments.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/output_file.h"
#include "platform/output_names.h"
#include "platform/pending_output.h"
#include "platform/text_file.h"
#include "support/test_files.h"

namespace {

template <class F>
IoError CatchIo(F f) {
  try {
    f();
  } catch (const IoError& e) {
    return e;
  }
  ADD_FAILURE() << "no IoError";
  return IoError(0, "");
}

TEST(FileLayer, OpenFailuresCarryClassicMessages) {
  TempDir dir;
  IoError missing = CatchIo([&] { InputFile::OpenRead(dir / "missing.bin"); });
  EXPECT_STREQ(missing.what(), "File not found");
  EXPECT_EQ(missing.code(), kIoFileNotFound);

  IoError noPath = CatchIo([&] { InputFile::OpenRead(dir / "no/such/dir/x.bin"); });
  EXPECT_STREQ(noPath.what(), "Path not found");
  EXPECT_EQ(noPath.code(), kIoPathNotFound);

  IoError createNoPath = CatchIo([&] { OutputFile::Create(dir / "no/x.bin"); });
  EXPECT_STREQ(createNoPath.what(), "Path not found");

  IoError directory = CatchIo([&] { InputFile::OpenRead(dir.path()); });
  EXPECT_STREQ(directory.what(), "File access denied");

  if (::geteuid() != 0) {  // root reads anything
    WriteBytes(dir / "locked.bin", {1, 2, 3});
    ::chmod((dir / "locked.bin").c_str(), 0);
    IoError denied = CatchIo([&] { InputFile::OpenRead(dir / "locked.bin"); });
    EXPECT_STREQ(denied.what(), "File access denied");
  }
}

TEST(FileLayer, WritingToAFullDeviceIsDiskFull) {
  IoError full = CatchIo([] {
    OutputFile f = OutputFile::Create("/dev/full");
    unsigned char block[512] = {};
    f.write(block, sizeof block);
    f.close();
  });
  EXPECT_STREQ(full.what(), "Disk full");
  EXPECT_EQ(full.code(), kIoDiskFull);
  EXPECT_EQ(OpenFileCount(), 0);
}

TEST(FileLayer, SeekBeyondTheEndThenReadGivesNothing) {
  TempDir dir;
  WriteBytes(dir / "a.bin", {1, 2, 3, 4});
  InputFile f = InputFile::OpenRead(dir / "a.bin");
  EXPECT_EQ(f.size(), 4);
  f.seek(100);
  EXPECT_EQ(f.position(), 100);
  unsigned char b[8];
  EXPECT_EQ(f.read(b, 8), 0);
  EXPECT_TRUE(f.eof());
  IoError e = CatchIo([&] { f.readExact(b, 1); });
  EXPECT_STREQ(e.what(), "Read beyond end of file");
  IoError negative = CatchIo([&] { f.seek(-1); });
  EXPECT_EQ(negative.code(), kIoInvalidArgument);
}

TEST(FileLayer, BufferedReadsMatchTheFileAcrossSeeks) {
  TempDir dir;
  Bytes data = RandomBytes(300000, 7, true);
  WriteBytes(dir / "r.bin", data);
  InputFile f = InputFile::OpenRead(dir / "r.bin");
  // Forward in small pieces, then back and forth across the buffer's edges.
  Bytes got(data.size());
  int64_t at = 0;
  while (at < static_cast<int64_t>(data.size())) {
    int64_t n = f.read(got.data() + at, 511);
    ASSERT_GT(n, 0);
    at += n;
  }
  EXPECT_EQ(got, data);
  EXPECT_TRUE(f.eof());
  for (int64_t pos : {131071, 131072, 5, 299999, 200000, 0}) {
    f.seek(pos);
    unsigned char b[4] = {};
    int64_t n = f.read(b, 4);
    int64_t want = std::min<int64_t>(4, data.size() - pos);
    ASSERT_EQ(n, want);
    for (int64_t i = 0; i < n; ++i) EXPECT_EQ(b[i], data[pos + i]) << pos;
    EXPECT_EQ(f.position(), pos + n);
  }
  // A read larger than the buffer.
  f.seek(1);
  Bytes big(250000);
  EXPECT_EQ(f.read(big.data(), 250000), 250000);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), data.begin() + 1));
}

TEST(FileLayer, CreateReplacesAndWritesWhole) {
  TempDir dir;
  WriteBytes(dir / "o.bin", Bytes(1000, 9));
  Bytes data = RandomBytes(200000, 3, true);
  {
    OutputFile f = OutputFile::Create(dir / "o.bin");
    f.write(data.data(), 100);
    f.write(data.data() + 100, static_cast<int64_t>(data.size()) - 100);
    EXPECT_EQ(f.position(), static_cast<int64_t>(data.size()));
    f.close();
  }
  EXPECT_EQ(ReadBytes(dir / "o.bin"), data);
}

// What an output made by CreateOutput leaves under its name: what stood
// there before, how the output ends, and what the name holds afterwards.
enum class Before {
  Nothing,
  OldFile,
  MadeWhileWriting,
  LinkToOld,
  DanglingLink,
  LinkToDevice,
  LinkToFifo
};
enum class End { Commit, Discard, Signal };

struct OutputCase {
  const char* name;
  Before before;
  int createErr;  // injected into the creation of the temporary file
  End end;
  int code;  // the IoError CreateOutput or commit throws, or 0
  bool holdsNew;
  OutputMode mode = OutputMode::Replace;
  bool longName = false;  // 250 bytes, too long for ".NAME.part-XXXXXX"
};

constexpr OutputMode kKeep = OutputMode::Keep;
constexpr OutputMode kReplace = OutputMode::Replace;

const OutputCase kOutputCases[] = {
    {"new name", Before::Nothing, 0, End::Commit, 0, true},
    {"new name: nothing there after a discard", Before::Nothing, 0, End::Discard, 0, false},
    {"new name: nothing there after a signal", Before::Nothing, 0, End::Signal, 0, false},
    {"name taken while writing: replaced", Before::MadeWhileWriting, 0, End::Commit, 0, true},
    {"no files without a name: a temporary file", Before::Nothing, EOPNOTSUPP, End::Commit, 0,
     true},
    {"old file replaced", Before::OldFile, 0, End::Commit, 0, true},
    {"old file kept on discard", Before::OldFile, 0, End::Discard, 0, false},
    {"old file kept on a signal", Before::OldFile, 0, End::Signal, 0, false},
    {"link: replaced, its target untouched", Before::LinkToOld, 0, End::Commit, 0, true},
    {"link kept on discard", Before::LinkToOld, 0, End::Discard, 0, false},
    {"dangling link: replaced, nothing made where it points", Before::DanglingLink, 0, End::Commit,
     0, true},
    {"no temporary file: written directly", Before::OldFile, EACCES, End::Commit, 0, true},
    // Written in place, the old content comes back however the output ends.
    {"written directly: old content back on discard", Before::OldFile, EACCES, End::Discard, 0,
     false},
    {"written directly: old content back on a signal", Before::OldFile, EPERM, End::Signal, 0,
     false},
    {"written directly, long name: old content back", Before::OldFile, EROFS, End::Discard, 0,
     false, kReplace, true},
    {"temporary file fails: old file kept", Before::OldFile, EIO, End::Commit, kIoOsBase + EIO,
     false},
    // A name too long for the usual temporary name still gets one.
    {"long name: old file replaced", Before::OldFile, 0, End::Commit, 0, true, kReplace, true},
    {"long name: old file kept on discard", Before::OldFile, 0, End::Discard, 0, false, kReplace,
     true},
    {"long name: old file kept on a signal", Before::OldFile, 0, End::Signal, 0, false, kReplace,
     true},
    {"long name, taken while writing: replaced", Before::MadeWhileWriting, 0, End::Commit, 0, true,
     kReplace, true},
    // A link to what is not a file is no name of the user's to replace.
    {"link to a device: refused", Before::LinkToDevice, 0, End::Commit, kIoNotAFile, false},
    {"link to a FIFO: refused", Before::LinkToFifo, 0, End::Commit, kIoNotAFile, false},
    // Kept: nothing that holds the name is ever replaced.
    {"kept: new name", Before::Nothing, 0, End::Commit, 0, true, kKeep},
    {"kept: old file refused", Before::OldFile, 0, End::Commit, kIoOutputExists, false, kKeep},
    {"kept: link refused", Before::LinkToOld, 0, End::Commit, kIoOutputExists, false, kKeep},
    {"kept: dangling link refused", Before::DanglingLink, 0, End::Commit, kIoOutputExists, false,
     kKeep},
    {"kept: name taken while writing", Before::MadeWhileWriting, 0, End::Commit, kIoOutputExists,
     false, kKeep},
    {"kept: name taken while writing a temporary file", Before::MadeWhileWriting, EOPNOTSUPP,
     End::Commit, kIoOutputExists, false, kKeep},
    {"kept: long name taken while writing", Before::MadeWhileWriting, EOPNOTSUPP, End::Commit,
     kIoOutputExists, false, kKeep, true},
};

TEST(FileLayer, OutputsAppearWholeOrNotAtAll) {
  const Bytes old(3000, 7), data = RandomBytes(150000, 5, true);
  for (const OutputCase& c : kOutputCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string name = dir / (c.longName ? std::string(250, 'n') : "o.bin"),
                      target = dir / "t.bin";
    const bool link = c.before == Before::LinkToOld || c.before == Before::DanglingLink ||
                      c.before == Before::LinkToDevice || c.before == Before::LinkToFifo;
    switch (c.before) {
      case Before::Nothing:
      case Before::MadeWhileWriting:
        break;
      case Before::OldFile:
        WriteBytes(name, old);
        ::chmod(name.c_str(), 0640);
        break;
      case Before::LinkToOld:
      case Before::DanglingLink:
        if (c.before == Before::LinkToOld) WriteBytes(target, old);
        ASSERT_EQ(::symlink("t.bin", name.c_str()), 0);
        break;
      case Before::LinkToDevice:
        ASSERT_EQ(::symlink("/dev/null", name.c_str()), 0);
        break;
      case Before::LinkToFifo:
        ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
        ASSERT_EQ(::symlink("t.bin", name.c_str()), 0);
        break;
    }
    struct stat before {};
    const bool existed = ::lstat(name.c_str(), &before) == 0;
    try {
      FaultPlan plan(FileOp::Create, 1, c.createErr);
      OutputFile f = OutputFile::CreateOutput(name, c.mode, plan);
      f.write(data.data(), static_cast<int64_t>(data.size()));  // 64 KiB of it reach the disk
      // Nothing under the name, and nothing else, before the output is whole.
      if (c.before == Before::Nothing && c.createErr == 0) {
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
      }
      if (c.before == Before::MadeWhileWriting) WriteBytes(name, old);
      if (c.end == End::Commit) f.commit();
      if (c.end == End::Discard) f.discard();
      if (c.end == End::Signal) RemovePendingOutput();  // as a signal handler does
      EXPECT_EQ(c.code, 0);
    } catch (const IoError& e) {
      EXPECT_EQ(e.code(), c.code);
      EXPECT_EQ(e.path(), name);
    }
    EXPECT_EQ(OpenFileCount(), 0);
    struct stat after {};
    const bool present = ::lstat(name.c_str(), &after) == 0;
    EXPECT_EQ(present, existed || c.holdsNew || c.before == Before::MadeWhileWriting);
    // A link that is replaced goes; one that is not stays a link.
    EXPECT_EQ(std::filesystem::is_symlink(name), link && !c.holdsNew);
    if (existed && !c.holdsNew) {
      EXPECT_EQ(after.st_mode, before.st_mode);  // the same kind, the same rights
    } else if (present && (!existed || link)) {
      // The rights of any new file.
      struct stat fresh {};
      WriteBytes(dir / "fresh", {});
      ASSERT_EQ(::stat((dir / "fresh").c_str(), &fresh), 0);
      EXPECT_EQ(after.st_mode, fresh.st_mode);
      ::unlink((dir / "fresh").c_str());
    } else if (present) {
      EXPECT_EQ(after.st_mode, before.st_mode);  // a replaced file keeps its rights
    }
    if (present && !link) {
      EXPECT_EQ(ReadBytes(name), c.holdsNew ? data : old);
    }
    if (link && c.holdsNew) {
      EXPECT_EQ(ReadBytes(name), data);
    }
    // What a link points to is never written, nor made.
    if (c.before == Before::LinkToOld) {
      EXPECT_EQ(ReadBytes(target), old);
    }
    if (c.before == Before::DanglingLink) {
      EXPECT_FALSE(std::filesystem::exists(target));
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos);
  }
}

// The system's folders, whose links no output replaces, also reached
// through a link of the user's; names that only look like them are not.
TEST(FileLayer, SystemFoldersAreKnownByWhereTheyLead) {
  TempDir dir;
  ASSERT_EQ(::symlink("/dev", (dir / "devices").c_str()), 0);
  ASSERT_EQ(::symlink("/proc/self", (dir / "me").c_str()), 0);
  const struct {
    std::string dir;
    bool system;
  } cases[] = {{"/dev", true},           {"/dev/", true},           {"/proc/self/fd/", true},
               {dir / "devices/", true}, {dir / "me/fd", true},     {"/device/", false},
               {dir / "dev/", false},    {dir.path() + "/", false}, {"/", false}};
  for (const auto& c : cases) EXPECT_EQ(InSystemFolder(c.dir), c.system) << c.dir;
}

// A file written in place whose old content cannot be kept aside is not
// written at all; one whose output fails as it is committed gets it back.
TEST(FileLayer, InPlaceOutputsKeepTheOldContentAside) {
  struct Full : FaultPlan {
    using FaultPlan::FaultPlan;
    bool full = false;
    ssize_t write(int fd, const void* src, size_t count) override {
      return full ? 0 : FaultPlan::write(fd, src, count);
    }
  };
  const struct {
    const char* tmpDir;  // TMPDIR below the test's folder, or null
    bool fullDisk;       // the commit's last write fails
    int code;
  } cases[] = {{"none", false, kIoFileNotFound}, {nullptr, true, kIoDiskFull}};
  const Bytes old = RandomBytes(200000, 8, true), data = RandomBytes(1000, 9, true);
  for (const auto& c : cases) {
    TempDir dir;
    WriteBytes(dir / "o.bin", old);
    const char* had = std::getenv("TMPDIR");
    const std::string tmpBefore = had ? had : "";
    if (c.tmpDir) ::setenv("TMPDIR", (dir / c.tmpDir).c_str(), 1);
    Full plan(FileOp::Create, 1, EACCES);
    IoError e = CatchIo([&] {
      OutputFile f = OutputFile::CreateOutput(dir / "o.bin", OutputMode::Replace, plan);
      f.write(data.data(), static_cast<int64_t>(data.size()));
      plan.full = c.fullDisk;
      f.commit();
    });
    had ? ::setenv("TMPDIR", tmpBefore.c_str(), 1) : ::unsetenv("TMPDIR");
    EXPECT_EQ(e.code(), c.code);
    EXPECT_EQ(ReadBytes(dir / "o.bin"), old);
    EXPECT_EQ(OpenFileCount(), 0);
  }
}

// A file whose size reads 0 is read for what it holds all the same.
TEST(FileLayer, FilesOfNoSizeAreReadForTheirBytes) {
  TempDir dir;
  WriteBytes(dir / "empty", {});
  const struct {
    std::string path;
    std::string starts;  // what it holds first; empty: nothing
  } cases[] = {{dir / "empty", ""},
               {"/proc/self/status", "Name:"},
               {"/proc/self/stat", std::to_string(::getpid()) + " ("}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    InputFile f = InputFile::OpenRead(c.path);
    EXPECT_EQ(f.size() > 0, !c.starts.empty());
    std::string text(static_cast<size_t>(f.size()), '\0');
    EXPECT_EQ(f.readAt(0, text.data(), f.size()), f.size());
    EXPECT_TRUE(text.starts_with(c.starts));
    EXPECT_TRUE(f.isSameFileAs(c.path));
  }
  EXPECT_EQ(OpenFileCount(), 0);
}

TEST(FileLayer, ExistenceAndDirectories) {
  TempDir dir;
  EXPECT_FALSE(FileExists(dir.path()));
  EXPECT_TRUE(DirectoryExists(dir.path()));
  EXPECT_FALSE(FileExists(""));
  WriteBytes(dir / "f", {});
  EXPECT_TRUE(FileExists(dir / "f"));
  EXPECT_FALSE(DirectoryExists(dir / "f"));
  CreateDir(dir / "sub");
  EXPECT_TRUE(DirectoryExists(dir / "sub"));
  IoError twoLevels = CatchIo([&] { CreateDir(dir / "a/b"); });
  EXPECT_STREQ(twoLevels.what(), "Path not found");
  // A folder there already (another run made it first) is what was asked
  // for; a file there is not.
  CreateDir(dir / "sub");
  ASSERT_EQ(::symlink("sub", (dir / "to-sub").c_str()), 0);
  CreateDir(dir / "to-sub");
  IoError file = CatchIo([&] { CreateDir(dir / "f"); });
  EXPECT_EQ(file.code(), kIoOsBase + EEXIST);
}

TEST(FileLayer, SpecialFilesAreRefused) {
  TempDir dir;
  std::string fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  IoError e = CatchIo([&] { InputFile::OpenRead(fifo); });
  EXPECT_EQ(e.code(), kIoNotAFile);
  EXPECT_EQ(OpenFileCount(), 0);
}

// An Env that sees every file as a block device: a size of 0 in its status,
// its bytes up to where lseek() finds its end.
class BlockDeviceEnv : public Env {
  int fstat(int fd, struct stat* st) override {
    const int r = Env::fstat(fd, st);
    st->st_mode = (st->st_mode & ~S_IFMT) | S_IFBLK;
    st->st_size = 0;
    return r;
  }
};

// A block device (a disk, a partition) is an input as a file is, sized
// where it ends.
TEST(FileLayer, BlockDevicesAreReadToTheirEnd) {
  TempDir dir;
  const Bytes data = RandomBytes(5000, 8, true);
  WriteBytes(dir / "sdx", data);
  BlockDeviceEnv device;
  InputFile f = OpenInput(dir / "sdx", true, device);
  EXPECT_EQ(f.size(), 5000);
  Bytes back(5000);
  EXPECT_EQ(f.readAt(0, back.data(), 5000), 5000);
  EXPECT_EQ(back, data);
}

// The names of split raw sets: each segment's next, which segments a first
// one reads with it, and which first segment a later one belongs to.
TEST(ImageSegments, NamesFollowTheirSetsAndNothingElse) {
  const struct {
    const char* name;
    const char* next;
  } names[] = {{"img.001", "img.002"},   {"d/img.009", "d/img.010"},
               {"img.0999", "img.1000"}, {"img.999", ""},
               {"img.aa", "img.ab"},     {"img.az", "img.ba"},
               {"a.b/xaa", "a.b/xab"},   {"img.zz", ""},
               {"img.01", ""},           {"img.bin", ""},
               {"img.E01", ""},          {"song.mp3", ""},
               {"a.001/img", ""},        {"img.Aa", ""},
               {"dir.aa/x", ""}};
  for (const auto& n : names) EXPECT_EQ(NextSegmentName(n.name), n.next) << n.name;

  TempDir dir;
  for (const char* name : {"a.001", "a.002", "a.003", "a.005", "b.000", "b.001", "c.aa", "c.ab",
                           "d.ab", "d.ac", "e.001"})
    WriteBytes(dir / name, {1});
  const struct {
    const char* name;
    std::vector<std::string> set;  // SegmentNames(), without the folder
    const char* first;             // FirstSegmentOf(): none when empty
  } sets[] = {{"a.001", {"a.001", "a.002", "a.003"}, ""},
              {"a.002", {"a.002"}, "a.001"},
              {"a.003", {"a.003"}, "a.001"},
              {"a.005", {"a.005"}, ""},  // after a gap: no segment of a.001's
              {"b.000", {"b.000", "b.001"}, ""},
              {"b.001", {"b.001"}, "b.000"},
              {"c.aa", {"c.aa", "c.ab"}, ""},
              {"c.ab", {"c.ab"}, "c.aa"},
              {"d.ab", {"d.ab"}, ""},
              {"e.001", {"e.001"}, ""}};
  for (const auto& c : sets) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> expected;
    for (const std::string& name : c.set) expected.push_back(dir / name);
    EXPECT_EQ(SegmentNames(dir / c.name), expected);
    EXPECT_EQ(ImageFirstSegmentOf(dir / c.name), *c.first ? dir / c.first : "");
  }
}

// A split raw set reads, copies and sizes as the one image it makes: across
// the boundaries of its segments, inside the kernel or not, and refuses
// outputs over any of its files.
TEST(ImageSegments, ASetReadsAndCopiesAsOneImage) {
  TempDir dir;
  const Bytes image = RandomBytes(250000, 5, true);
  const int64_t cuts[] = {0, 100000, 100000, 200000, 250000};  // one empty segment
  const char* names[] = {"i.001", "i.002", "i.003", "i.004"};
  for (int i = 0; i < 4; ++i)
    WriteBytes(dir / names[i], Slice(image, cuts[i], cuts[i + 1] - cuts[i]));
  const struct {
    int64_t pos, count, got;
  } ranges[] = {{0, 250000, 250000},     {99990, 20, 20}, {100000, 100001, 100001},
                {199999, 100000, 50001}, {250000, 5, 0},  {300000, 5, 0}};
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "through the buffers" : "in the kernel");
    FaultPlan plan(FileOp::KernelCopy, 1, refused ? EXDEV : 0, true);
    InputFile f = OpenInput(dir / "i.001", true, plan);
    EXPECT_EQ(f.size(), 250000);
    std::vector<std::string> segments;
    for (const char* name : names) segments.push_back(dir / name);
    EXPECT_EQ(f.segments(), segments);
    OutputFile out = OutputFile::Create(dir / "out.bin", plan);
    Bytes expected;
    for (const auto& r : ranges) {
      Bytes back(static_cast<size_t>(r.count));
      EXPECT_EQ(f.readAt(r.pos, back.data(), r.count), r.got) << r.pos;
      EXPECT_EQ(Slice(back, 0, r.got), Slice(image, r.pos, r.got)) << r.pos;
      f.seek(r.pos);
      EXPECT_EQ(f.copyTo(out, r.count), r.got) << r.pos;
      EXPECT_EQ(f.position(), r.pos + r.got);
      Append(expected, Slice(image, r.pos, r.got));
    }
    out.close();
    EXPECT_EQ(ReadBytes(dir / "out.bin"), expected);
    for (const char* name : names) EXPECT_TRUE(f.isSameFileAs(dir / name)) << name;
    EXPECT_FALSE(f.isSameFileAs(dir / "out.bin"));
  }
  EXPECT_EQ(OpenFileCount(), 0);
}

// The first segment file of an EWF image is known by its signature and
// segment number; anything else is no EWF image.
TEST(ImageSegments, EwfImagesAreKnownByTheirFirstSegment) {
  const unsigned char evf[] = {'E', 'V', 'F', 9, 13, 10, 0xff, 0};
  const unsigned char lvf[] = {'L', 'V', 'F', 9, 13, 10, 0xff, 0};
  const unsigned char shifted[] = {'V', 'F', 9, 13, 10, 0xff, 0, 0};  // a byte late
  const struct {
    const unsigned char* signature;
    unsigned char start, segment, high;
    bool first;
  } heads[] = {{evf, 1, 1, 0, true},  {lvf, 1, 1, 0, true},  {evf, 1, 2, 0, false},
               {evf, 1, 1, 1, false}, {evf, 0, 1, 0, false}, {shifted, 1, 1, 0, false}};
  for (const auto& h : heads) {
    Bytes head(h.signature, h.signature + 8);
    Append(head, {h.start, h.segment, h.high, 0, 0});
    EXPECT_EQ(IsEwfFirstSegment(head), h.first) << int(h.segment) << " " << int(h.high);
    EXPECT_FALSE(IsEwfFirstSegment(Slice(head, 0, 10)));
  }
  // A file that starts as one and is none fails as an image, and reads as
  // the file it is otherwise.
  TempDir dir;
  Bytes fake(evf, evf + 8);
  Append(fake, {1, 1, 0});
  Append(fake, RandomBytes(3000, 3, true));
  WriteBytes(dir / "fake.E01", fake);
  IoError e = CatchIo([&] { OpenInput(dir / "fake.E01", true); });
  EXPECT_TRUE(std::string(e.what()).starts_with("EWF image unreadable")) << e.what();
  EXPECT_EQ(OpenInput(dir / "fake.E01", false).size(), static_cast<int64_t>(fake.size()));
  EXPECT_EQ(OpenFileCount(), 0);
}

TEST(FileLayer, SameFileIsRecognisedThroughLinks) {
  TempDir dir;
  WriteBytes(dir / "in.bin", {1, 2});
  ASSERT_EQ(::symlink((dir / "in.bin").c_str(), (dir / "link.bin").c_str()), 0);
  InputFile f = InputFile::OpenRead(dir / "in.bin");
  EXPECT_TRUE(f.isSameFileAs(dir / "in.bin"));
  EXPECT_TRUE(f.isSameFileAs(dir / "link.bin"));
  EXPECT_TRUE(f.isSameFileAs(dir.path() + "/./in.bin"));
  EXPECT_FALSE(f.isSameFileAs(dir / "other.bin"));
}

TEST(FileLayer, InjectedFaultsFailTheChosenOperation) {
  TempDir dir;
  WriteBytes(dir / "a.bin", {1, 2, 3});
  FaultPlan plan(FileOp::Read, 2, EIO);
  InputFile f = InputFile::OpenRead(dir / "a.bin", plan);
  unsigned char b[1];
  EXPECT_EQ(f.read(b, 1), 1);
  IoError e = CatchIo([&] { f.read(b, 1); });
  EXPECT_EQ(e.code(), kIoOsBase + EIO);
  EXPECT_TRUE(plan.fired());
  EXPECT_EQ(plan.count(FileOp::Open), 1);
}

// Copies between files: inside the kernel, under a fault plan in blocks, to
// another filesystem, and through the buffers after each refusal the
// kernel may give; the bytes and both positions are the same every way.
TEST(FileLayer, CopiesMoveTheSameBytesEveryWay) {
  struct Way {
    const char* name;
    bool plan;     // a fault plan in force
    int refusal;   // the kernel's answer to its first copy, or 0
    bool otherFs;  // the output on another filesystem (/dev/shm)
  } ways[] = {{"kernel", false, 0, false},
              {"kernel under a plan", true, 0, false},
              {"other filesystem", false, 0, true},
              {"EXDEV", true, EXDEV, false},
              {"ENOSYS", true, ENOSYS, false},
              {"EINVAL", true, EINVAL, false},
              {"EOPNOTSUPP", true, EOPNOTSUPP, false},
              {"EBADF", true, EBADF, false}};
  struct Range {
    int64_t start, count, copied;
  } ranges[] = {{1000, 200000, 200000}, {250000, 100000, 50000}, {0, 300000, 300000},
                {300000, 10, 0},        {400000, 10, 0},         {7, 0, 0}};
  TempDir dir;
  const Bytes data = RandomBytes(300000, 21, true);
  WriteBytes(dir / "in.bin", data);
  for (const Way& w : ways) {
    SCOPED_TRACE(w.name);
    std::string outDir = dir.path();
    struct stat shm {
    }, here{};
    if (w.otherFs) {
      if (::stat("/dev/shm", &shm) != 0 || ::stat(outDir.c_str(), &here) != 0 ||
          shm.st_dev == here.st_dev || ::access("/dev/shm", W_OK) != 0) {
        continue;  // no second filesystem to be had here
      }
      outDir = "/dev/shm";
    }
    const std::string outName = outDir + "/zandrel-copy-test-" + std::to_string(::getpid());
    FaultPlan plan(FileOp::KernelCopy, 1, w.refusal);
    Env& env = w.plan ? static_cast<Env&>(plan) : Env::System();
    int64_t steps = 0;  // of the kernel copy under a plan: blocks, and one that finds the end
    InputFile in = InputFile::OpenRead(dir / "in.bin", env);
    OutputFile out = OutputFile::Create(outName, env);
    Bytes expected = {1, 2, 3};
    out.write(expected.data(), 3);  // still in the output's buffer
    for (const Range& r : ranges) {
      in.seek(r.start);
      EXPECT_EQ(in.copyTo(out, r.count), r.copied) << r.start;
      steps += (r.copied + 65535) / 65536 + (r.copied < r.count ? 1 : 0);
      EXPECT_EQ(in.position(), r.start + r.copied);
      Append(expected, Slice(data, r.start, r.copied));
      EXPECT_EQ(out.position(), static_cast<int64_t>(expected.size()));
      // A read goes on where the copy ended.
      uint8_t next = 0;
      if (in.read(&next, 1) == 1) {
        EXPECT_EQ(next, data[r.start + r.copied]);
      }
    }
    out.write(expected.data(), 2);
    Append(expected, Slice(expected, 0, 2));
    out.close();
    in.close();
    EXPECT_EQ(ReadBytes(outName), expected);
    if (w.plan && w.refusal == 0) {
      // One kernel copy, one read and one write for the plan per block.
      EXPECT_EQ(plan.count(FileOp::KernelCopy), steps);
      EXPECT_EQ(plan.count(FileOp::Write), steps + 2);
    }
    if (w.refusal != 0) {
      EXPECT_TRUE(plan.fired());
      EXPECT_EQ(plan.count(FileOp::KernelCopy), 1);
    }
    ::unlink(outName.c_str());
  }
  // A failing kernel copy fails the copy, and names the output.
  FaultPlan failing(FileOp::KernelCopy, 2, EIO);
  InputFile in = InputFile::OpenRead(dir / "in.bin", failing);
  OutputFile out = OutputFile::Create(dir / "out.bin", failing);
  IoError e = CatchIo([&] { in.copyTo(out, 200000); });
  EXPECT_EQ(e.code(), kIoOsBase + EIO);
  EXPECT_EQ(e.path(), dir / "out.bin");
  EXPECT_EQ(in.position(), 65536);
}

TEST(FileLayer, TextLinesKeepTheirBytes) {
  TempDir dir;
  std::string text = "一行目\r\nzwei\nthree\rlast";
  WriteBytes(dir / "t.txt", Bytes(text.begin(), text.end()));
  std::vector<std::string> lines;
  ReadTextLines(dir / "t.txt", [&](const std::string& l) { lines.push_back(l); });
  EXPECT_EQ(lines, (std::vector<std::string>{"一行目", "zwei", "three", "last"}));
}

// A folder's regular files, depth-first and in bytewise order of names, no
// link followed, nothing but regular files, unreadable folders told.
TEST(FilesBelow, ListsTheRegularFilesOfATreeInAStableOrder) {
  TempDir dir;
  namespace fs = std::filesystem;
  const std::string t = dir / "t";
  for (const char* folder : {"t/a", "t/a/deep", "t/b", "t/empty", "t/Z"}) {
    fs::create_directories(dir / folder);
  }
  for (const char* file : {"t/a.x", "t/a/2.bin", "t/a/10.bin", "t/a/deep/k", "t/b/\xE3\x81\x82.bin",
                           "t/b/z.bin", "t/Z/up", "t/~tilde", "t/.hidden"}) {
    WriteBytes(dir / file, {1});
  }
  fs::create_symlink(dir / "t/a/2.bin", dir / "t/link-to-file");
  fs::create_symlink(dir / "t/a", dir / "t/link-to-folder");
  fs::create_symlink(dir / "t/nowhere", dir / "t/dangling");
  ASSERT_EQ(::mkfifo((dir / "t/b/fifo").c_str(), 0600), 0);
  // A folder too deep to be opened by its path: unreadable, whoever runs.
  std::string deep = t + "/y";
  fs::create_directory(deep);
  const std::string longName(200, 'd');
  {
    const std::string here = fs::current_path();
    fs::current_path(deep);
    for (int i = 0; i < 22; ++i) {
      fs::create_directory(longName);
      fs::current_path(longName);
    }
    WriteBytes("lost.bin", {1});
    fs::current_path(here);
  }
  struct Case {
    std::string folder;
    std::vector<std::string> files;  // below the folder
    size_t unreadable;
  };
  const std::vector<std::string> all = {"/.hidden",  "/Z/up", "/a/10.bin", "/a/2.bin",
                                        "/a/deep/k", "/a.x",  "/b/z.bin",  "/b/\xE3\x81\x82.bin",
                                        "/~tilde"};
  const Case cases[] = {
      {t, all, 1},
      {t + "/", all, 1},  // a trailing slash adds nothing
      {t + "/a", {"/10.bin", "/2.bin", "/deep/k"}, 0},
      {t + "/link-to-folder", {"/10.bin", "/2.bin", "/deep/k"}, 0},  // the folder named is read
      {t + "/empty", {}, 0},
      {t + "/missing", {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    std::vector<std::string> errors;
    const std::vector<std::string> files =
        FilesBelow(c.folder, [&](const IoError& e) { errors.push_back(e.path()); });
    std::string base = c.folder;
    while (base.back() == '/') base.pop_back();
    std::vector<std::string> expected;
    for (const std::string& f : c.files) expected.push_back(base + f);
    EXPECT_EQ(files, expected);
    EXPECT_EQ(errors.size(), c.unreadable);
  }
}

TEST(FilesBelow, PipesAndDevicesAreReadAsStreams) {
  TempDir dir;
  WriteBytes(dir / "file", {1});
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(IsPipeOrDevice(dir / "file"));
  EXPECT_FALSE(IsPipeOrDevice(dir.path()));
  EXPECT_FALSE(IsPipeOrDevice(dir / "missing"));
  EXPECT_TRUE(IsPipeOrDevice(dir / "fifo"));
  EXPECT_TRUE(IsPipeOrDevice("/dev/null"));
}

}  // namespace
