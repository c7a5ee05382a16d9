// The digests of --hash as a tap sees the bytes, and the names of the DFXML
// report.
#include "output/digests.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "output/dfxml_report.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "support/test_files.h"

TEST(ParseHashList, TakesKnownNamesInAnyOrderOnce) {
  const struct {
    const char* list;
    unsigned kinds;  // 0: refused
  } rows[] = {
      {"md5", kHashMd5},
      {"sha256,md5", kHashMd5 | kHashSha256},
      {"sha1,sha1", kHashSha1},
      {"md5,sha1,sha256", kHashMd5 | kHashSha1 | kHashSha256},
      {"", 0},
      {"md5,", 0},
      {"Sha1", 0},
      {"md5 ,sha1", 0},
      {"crc32", 0},
  };
  for (const auto& row : rows) {
    unsigned kinds = 99;
    std::string error;
    EXPECT_EQ(ParseHashList(row.list, kinds, error), row.kinds != 0) << row.list;
    if (row.kinds != 0) {
      EXPECT_EQ(kinds, row.kinds) << row.list;
    } else {
      EXPECT_NE(error.find("is no digest"), std::string::npos) << row.list;
    }
  }
}

// Whatever way the bytes reach an output -- written in pieces of any size,
// copied from a file (which the kernel would otherwise copy without them
// passing through memory) -- the digests are those of the whole file.
TEST(OutputDigests, AreThoseOfTheFileHoweverItWasWritten) {
  TempDir dir;
  const Bytes source = RandomBytes(3 * 1024 * 1024 + 77, 41, true);
  WriteBytes(dir / "source.bin", source);
  const struct {
    int64_t piece;  // written in pieces of this size; 0: copied
    int64_t skip;   // the copy begins here
    unsigned kinds;
  } rows[] = {{1, 0, kHashMd5},
              {4093, 0, kHashSha1 | kHashSha256},
              {1 << 20, 0, kHashMd5 | kHashSha1 | kHashSha256},
              {0, 0, kHashSha256},
              {0, 12345, kHashMd5 | kHashSha1}};
  int n = 0;
  for (const auto& row : rows) {
    const std::string path = dir / ("out" + std::to_string(n++));
    OutputDigests digests(row.kinds);
    OutputFile out = OutputFile::CreateOutput(path);
    out.setTap(&digests);
    const int64_t size = row.piece == 1 ? 5000 : std::ssize(source);
    if (row.piece > 0) {
      for (int64_t at = 0; at < size; at += row.piece)
        out.write(source.data() + at, std::min(row.piece, size - at));
    } else {
      InputFile in = InputFile::OpenRead(dir / "source.bin");
      in.seek(row.skip);
      EXPECT_EQ(in.copyTo(out, size), size - row.skip);
    }
    out.commit();
    const Digests d = digests.finish();
    const Bytes written = ReadBytes(path);
    EXPECT_EQ(d.md5, row.kinds & kHashMd5 ? DigestHex("md5", written) : "") << path;
    EXPECT_EQ(d.sha1, row.kinds & kHashSha1 ? DigestHex("sha1", written) : "") << path;
    EXPECT_EQ(d.sha256, row.kinds & kHashSha256 ? DigestHex("sha256", written) : "") << path;
  }
}

TEST(ReportName, Utf8AsItIsEveryOtherByteAndThePercentSignEncoded) {
  const struct {
    std::string name, written;
  } rows[] = {
      {"out/001.mp3", "out/001.mp3"},
      {"曲/100%.mp3", "曲/100%25.mp3"},
      {"a\xff.mp3", "a%FF.mp3"},
      {"曲\xff%41", "曲%FF%2541"},
      {"\x7f\xe6\x9b\xb2", "%7F曲"},
      {"tab\there", "tab%09here"},
      {"\xed\xa0\x80", "%ED%A0%80"},         // a surrogate
      {"\xc0\xaf", "%C0%AF"},                // overlong
      {"\xf4\x90\x80\x80", "%F4%90%80%80"},  // past U+10FFFF
      {"\xe6\x9b", "%E6%9B"},                // cut short
      {"\xe6\x9b"
       "A",
       "%E6%9BA"},
  };
  for (const auto& row : rows) EXPECT_EQ(ReportName(row.name), row.written) << row.written;
}
