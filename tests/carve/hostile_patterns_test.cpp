// Inputs built to make the probes expensive: every pass ends, writes only
// byte ranges of the input, and finds what the pattern holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "carve/extract.h"
#include "platform/file.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

Bytes Repeat(const Bytes& unit, size_t size) {
  Bytes out;
  out.reserve(size + unit.size());
  while (out.size() < size) out.insert(out.end(), unit.begin(), unit.end());
  out.resize(size);
  return out;
}

Bytes Frame(std::initializer_list<uint8_t> header, size_t length) {
  Bytes f(length, 0);
  std::copy(header.begin(), header.end(), f.begin());
  return f;
}

Bytes OggPage(int segments, uint8_t type = 0) {
  Bytes p = {'O', 'g', 'g', 'S', 0, type};
  p.resize(26, 0);
  p.push_back(static_cast<uint8_t>(segments));
  p.resize(p.size() + segments, 0);
  return p;
}

Bytes Garbage() {
  Bytes g;
  for (int i = 1; i <= 100; ++i) g.push_back(static_cast<uint8_t>(i));
  return g;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Pattern {
  const char* name;
  Bytes unit;
  int mp3, ogg, wav;  // streams each pass writes from 256 KiB of it
};

TEST(HostilePatterns, EveryPassEndsAndWritesOnlyRangesOfTheInput) {
  const size_t kSize = 256 * 1024;
  Bytes m1 = Frame({0xFF, 0xFB, 0x90, 0x64}, 417);
  Bytes shortest = Frame({0xFF, 0xF3, 0x14, 0xC4}, 24);
  Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  const Pattern patterns[] = {
      {"mp3 every other offset", {0xFF, 0xFB}, 0, 0, 0},
      {"mp3 headers every 4th", {0xFF, 0xFB, 0x90, 0x64}, 0, 0, 0},
      {"mp3 chains of three", Cat({m1, m1, m1, Garbage()}), 0, 0, 0},
      {"mp3 short chains of three", Cat({shortest, shortest, shortest, Garbage()}), 0, 0, 0},
      {"ogg every other offset", {'O', 'g'}, 0, 0, 0},
      {"ogg chains of three", Cat({OggPage(1), OggPage(1), OggPage(1), Garbage()}), 0, 0, 0},
      {"ogg 255 segments", Cat({OggPage(255), OggPage(255), OggPage(255), Garbage()}), 0, 0, 0},
      {"wav every other offset", {'R', 'I'}, 0, 0, 0},
      {"wav headers", Cat({riff, Garbage()}), 0, 0, static_cast<int>((kSize + 115) / 116)},
  };
  for (const Pattern& p : patterns) {
    SCOPED_TRACE(p.name);
    TempDir dir;
    Bytes data = Repeat(p.unit, kSize);
    WriteBytes(dir / "in.bin", data);
    const int expected[] = {p.mp3, p.ogg, p.wav};
    int i = 0;
    for (auto pass : {ExtractMp3, ExtractOgg, ExtractWav}) {
      ScriptHost host;
      int64_t written = pass(host, dir / "in.bin", dir / "out/%d.bin");
      EXPECT_EQ(written, expected[i++]);
      EXPECT_TRUE(host.boxes.empty());
      EXPECT_EQ(File::OpenCount(), 0);
    }
    EXPECT_EQ(ReadBytes(dir / "in.bin"), data);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "out", ec)) {
      Bytes out = ReadBytes(entry.path());
      EXPECT_NE(std::search(data.begin(), data.end(), out.begin(), out.end()), data.end());
    }
  }
}

TEST(HostilePatterns, PagesChainedToTheEndAndAHugeSizeFieldAreOneStreamEach) {
  TempDir dir;
  Bytes pages = Repeat(OggPage(1), 100000 * 28);
  WriteBytes(dir / "pages.bin", pages);
  ScriptHost ogg;
  EXPECT_EQ(ExtractOgg(ogg, dir / "pages.bin", dir / "p%d.xxx"), 1);
  // The last page lies within 100 bytes of the end and is not counted.
  Bytes out = ReadBytes(dir / "p1.ogg");
  EXPECT_GT(out.size(), pages.size() - 128);
  EXPECT_EQ(out, Slice(pages, 0, out.size()));

  Bytes wav = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  Append(wav, RandomBytes(50000, 8, true));
  WriteBytes(dir / "wav.bin", wav);
  ScriptHost host;
  EXPECT_EQ(ExtractWav(host, dir / "wav.bin", dir / "w%d.xxx"), 1);
  EXPECT_EQ(host.log[1], "[001($00000000-$100000006)] RIFF Wav");
  EXPECT_EQ(ReadBytes(dir / "w1.wav"), wav);
}

}  // namespace
