// The view of an input that the walk and the carvers share: bytes the walk's
// buffer holds come without a read; others from reads that start small after
// each load of the buffer and double, short only where the input ends, and
// always followed by zero bytes; a few places far apart are each read once.
#include "carve/engine/input_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/env.h"
#include "support/test_files.h"

namespace {

// The system as it is, with every pread recorded: its offset and count.
class RecordedReads : public Env {
 public:
  std::vector<std::pair<int64_t, int64_t>> reads;
  ssize_t pread(int fd, void* dst, size_t count, off_t offset) override {
    reads.emplace_back(offset, static_cast<int64_t>(count));
    return Env::pread(fd, dst, count, offset);
  }
};

using Reads = std::vector<std::pair<int64_t, int64_t>>;

constexpr int64_t kSize = 300000;
constexpr int64_t kLoadAt = 1000, kLoadLength = 65536;
constexpr int64_t kLoad = -1;  // a step that loads the walk's buffer again

struct Step {
  int64_t pos, count;
  Reads reads;  // the reads the step makes
};

TEST(InputView, BytesComeFromTheBufferOrFromReadsThatStartSmall) {
  const int64_t bufferEnd = kLoadAt + kLoadLength;
  const struct Case {
    const char* name;
    std::vector<Step> steps;  // after a load of [kLoadAt, bufferEnd)
  } cases[] = {
      {"inside the buffer", {{2000, 100, {}}, {bufferEnd - 8, 8, {}}}},
      {"across its end, then on",
       {{bufferEnd - 536, 1000, {{bufferEnd, 4096}}},
        {bufferEnd + 3500, 1000, {{bufferEnd + 4096, 8192}}},
        {bufferEnd + 3500, 5000, {}}}},
      {"before it", {{0, 16, {{0, 4096}}}, {8, 16, {}}}},
      {"the reads double up to 128 KiB",
       {{0, 1, {{0, 4096}}},
        {70000, 1, {{70000, 8192}}},
        {80000, 1, {{80000, 16384}}},
        {100000, 1, {{100000, 32768}}},
        {140000, 1, {{140000, 65536}}},
        {210000, 1, {{210000, 131072}, {kSize, 41072}}},  // and the end found
        {0, 1, {{0, 131072}}}}},
      {"a load starts small again",
       {{0, 16, {{0, 4096}}},
        {200000, 16, {{200000, 8192}}},
        {kLoad, 0, {}},
        {150000, 16, {{150000, 4096}}},
        {250000, 16, {{250000, 8192}}}}},
      {"places far apart in turn read once each",
       {{200000, 8, {{200000, 4096}}},
        {0, 8, {{0, 8192}}},
        {250000, 8, {{250000, 16384}}},
        {200008, 8, {}},
        {8, 8, {}},
        {250008, 8, {}},
        {200000, 4100, {{204096, 32768}}}}},
      {"a large count in one read", {{100000, 150000, {{100000, 150000}}}}},
      {"short at the end", {{kSize - 10, 100, {{kSize - 10, 4096}, {kSize, 4086}}}}},
      {"nothing past the end", {{kSize + 100000, 4, {{kSize + 100000, 4096}}}}},
  };
  TempDir dir;
  const Bytes data = RandomBytes(kSize, 41, true);
  WriteBytes(dir / "in.bin", data);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordedReads env;
    InputView view(InputFile::OpenRead(dir / "in.bin", env), kLoadLength);
    ASSERT_EQ(view.load(kLoadAt, kLoadLength), kLoadLength);
    EXPECT_EQ(std::vector<uint8_t>(view.loaded(), view.loaded() + kLoadLength),
              Slice(data, kLoadAt, kLoadLength));
    for (const Step& s : c.steps) {
      SCOPED_TRACE(s.pos);
      env.reads.clear();
      if (s.pos == kLoad) {
        view.load(kLoadAt, kLoadLength);
        continue;
      }
      const auto b = view.bytes(s.pos, s.count);
      EXPECT_EQ(env.reads, s.reads);
      const int64_t inInput = std::clamp<int64_t>(kSize - s.pos, 0, kSize);
      const auto held = static_cast<int64_t>(b.size());
      EXPECT_GE(held, std::min(s.count, inInput));
      ASSERT_LE(held, inInput);
      EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()), Slice(data, s.pos, held));
      EXPECT_TRUE(std::all_of(b.data() + held, b.data() + held + 8, [](uint8_t x) {
        return x == 0;
      })) << "zero bytes follow";
    }
  }
}

TEST(InputView, EachLoadTellsWhereTheBufferIsAndWhetherTheInputEndsInIt) {
  TempDir dir;
  const Bytes data = RandomBytes(5000, 43, true);
  WriteBytes(dir / "in.bin", data);
  const struct {
    int64_t from, want, held;
    bool toEnd;
  } loads[] = {{0, 512, 512, false}, {4000, 1000, 1000, false}, {4500, 1000, 500, true},
               {5000, 8, 0, true},   {100, 4900, 4900, false},  {9000, 1, 0, true},
               {4999, 2, 1, true}};
  InputView view(InputFile::OpenRead(dir / "in.bin"), 1024);
  uint64_t count = 0;
  for (const auto& l : loads) {
    SCOPED_TRACE(l.from);
    EXPECT_EQ(view.load(l.from, l.want), l.held);
    EXPECT_EQ(view.loadedStart(), l.from);
    EXPECT_EQ(view.loadedLength(), l.held);
    EXPECT_EQ(view.loadedToEnd(), l.toEnd);
    EXPECT_EQ(view.loads(), ++count);
    EXPECT_EQ(std::vector<uint8_t>(view.loaded(), view.loaded() + l.held),
              Slice(data, l.from, l.held));
  }
}

TEST(InputView, ReadsCopyWhatTheInputHolds) {
  TempDir dir;
  const Bytes data = RandomBytes(5000, 42, true);
  WriteBytes(dir / "in.bin", data);
  const struct {
    int64_t pos, count, copied;
  } cases[] = {{0, 10, 10}, {4990, 100, 10}, {5000, 1, 0}, {9000, 1, 0}, {100, 4900, 4900}};
  InputView view(InputFile::OpenRead(dir / "in.bin"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pos);
    std::vector<uint8_t> got(static_cast<size_t>(c.count), 0xEE);
    EXPECT_EQ(view.read(c.pos, got.data(), c.count), c.copied);
    got.resize(static_cast<size_t>(c.copied));
    EXPECT_EQ(got, Slice(data, c.pos, c.copied));
    if (c.copied < c.count) {
      EXPECT_THROW(view.readExact(c.pos, got.data(), c.count), IoError);
    }
  }
}

}  // namespace
