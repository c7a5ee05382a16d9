#include "output/tag_ini.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/fault.h"
#include "platform/input_file.h"
#include "platform/text_file.h"
#include "support/test_files.h"

namespace {

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, Bytes(text.begin(), text.end()));
}

}  // namespace

TEST(TagIniReader, MatchesSectionAndKeyNamesWithoutCase) {
  TagIni ini = TagIni::Parse("[General]\nInputFile=track.bin\n[TRACK1]\ntitle=One\n");
  EXPECT_EQ(ini.ReadString("general", "INPUTFILE", "-"), "track.bin");
  EXPECT_EQ(ini.ReadString("Track1", "Title", "-"), "One");
  EXPECT_EQ(ini.ReadString("Track1", "Artist", "-"), "-");
  EXPECT_EQ(ini.ReadString("Track2", "Title", "-"), "-");
}

TEST(TagIniReader, TrimsBlanksAroundNamesAndValues) {
  TagIni ini = TagIni::Parse(" [ Default ] \n\t Title \t=\t  Song  Name \t\n");
  EXPECT_EQ(ini.ReadString("Default", "Title", "-"), "Song  Name");
}

TEST(TagIniReader, RemovesOnePairOfSurroundingQuotes) {
  TagIni ini = TagIni::Parse(
      "[s]\n"
      "double=\" padded \"\n"
      "single=' padded '\n"
      "twice=\"\"inner\"\"\n"
      "mixed=\"text'\n"
      "open=\"text\n"
      "inside=a\"b\"c\n"
      "lone=\"\n"
      "empty=\"\"\n");
  EXPECT_EQ(ini.ReadString("s", "double", "-"), " padded ");
  EXPECT_EQ(ini.ReadString("s", "single", "-"), " padded ");
  EXPECT_EQ(ini.ReadString("s", "twice", "-"), "\"inner\"");
  EXPECT_EQ(ini.ReadString("s", "mixed", "-"), "\"text'");
  EXPECT_EQ(ini.ReadString("s", "open", "-"), "\"text");
  EXPECT_EQ(ini.ReadString("s", "inside", "-"), "a\"b\"c");
  EXPECT_EQ(ini.ReadString("s", "lone", "-"), "\"");
  EXPECT_EQ(ini.ReadString("s", "empty", "-"), "");
}

TEST(TagIniReader, CutsValuesTo2047Bytes) {
  std::string longValue(3000, 'v');
  TagIni ini = TagIni::Parse("[s]\nlong=" + longValue + "\nquoted=\"" + longValue + "\"\n");
  EXPECT_EQ(ini.ReadString("s", "long", ""), std::string(2047, 'v'));
  EXPECT_EQ(ini.ReadString("s", "quoted", ""), std::string(2047, 'v'));
}

TEST(TagIniReader, AcceptsEveryLineEnd) {
  TagIni ini = TagIni::Parse("[s]\r\na=1\rb=2\nc=3\r\n\r\nd=4");
  EXPECT_EQ(ini.ReadString("s", "a", "-"), "1");
  EXPECT_EQ(ini.ReadString("s", "b", "-"), "2");
  EXPECT_EQ(ini.ReadString("s", "c", "-"), "3");
  EXPECT_EQ(ini.ReadString("s", "d", "-"), "4");
}

TEST(TagIniReader, IgnoresCommentsStrayKeysAndLinesWithoutEquals) {
  TagIni ini = TagIni::Parse(
      "early=before\n"
      "[s]\n"
      "; a=comment\n"
      "  ;b=indented comment\n"
      "no equals here\n"
      "=no name\n"
      "c=x=y\n");
  EXPECT_EQ(ini.ReadString("s", "early", "-"), "-");
  EXPECT_EQ(ini.ReadString("", "early", "-"), "-");
  EXPECT_EQ(ini.ReadString("s", "; a", "-"), "-");
  EXPECT_EQ(ini.ReadString("s", "a", "-"), "-");
  EXPECT_EQ(ini.ReadString("s", "b", "-"), "-");
  EXPECT_EQ(ini.ReadString("s", "no equals here", "-"), "-");
  EXPECT_EQ(ini.ReadString("s", "c", "-"), "x=y");
}

TEST(TagIniReader, FirstOccurrenceWinsAcrossRepeatedSections) {
  TagIni ini = TagIni::Parse("[s]\na=first\na=second\n[other]\n[S]\na=third\nb=late\n");
  EXPECT_EQ(ini.ReadString("s", "a", "-"), "first");
  EXPECT_EQ(ini.ReadString("s", "b", "-"), "late");
}

TEST(TagIniReader, SectionExistsOnlyWithAKey) {
  TagIni ini = TagIni::Parse("[Bare]\n[Track3]\nTitle=x\n[Comments]\n;k=v\n[Spaced]\n\n  k = \n");
  EXPECT_FALSE(ini.SectionExists("Bare"));
  EXPECT_TRUE(ini.SectionExists("track3"));
  EXPECT_FALSE(ini.SectionExists("Comments"));
  EXPECT_TRUE(ini.SectionExists("Spaced"));  // a key with an empty value still counts
  EXPECT_FALSE(ini.SectionExists("Missing"));
}

TEST(TagIniReader, ReadsDecimalAndHexadecimalIntegers) {
  TagIni ini = TagIni::Parse(
      "[n]\n"
      "dec=42\nneg=-17\nplus=+5\nhex=0x1F\nHEX=0XfF\ndollar=$10\nnegHex=-$10\n"
      "quoted=\"12\"\nblank= 7 \nmax=9223372036854775807\nmin=-9223372036854775808\n");
  EXPECT_EQ(ini.ReadInteger("n", "dec", -1), 42);
  EXPECT_EQ(ini.ReadInteger("n", "neg", -1), -17);
  EXPECT_EQ(ini.ReadInteger("n", "plus", -1), 5);
  EXPECT_EQ(ini.ReadInteger("n", "hex", -1), 31);
  EXPECT_EQ(ini.ReadInteger("n", "hex2", -1), -1);
  EXPECT_EQ(ini.ReadInteger("n", "dollar", -1), 16);
  EXPECT_EQ(ini.ReadInteger("n", "negHex", -1), -16);
  EXPECT_EQ(ini.ReadInteger("n", "quoted", -1), 12);
  EXPECT_EQ(ini.ReadInteger("n", "blank", -1), 7);
  EXPECT_EQ(ini.ReadInteger("n", "max", -1), INT64_MAX);
  EXPECT_EQ(ini.ReadInteger("n", "min", -1), INT64_MIN);
}

TEST(TagIniReader, IntegersThatAreNotWholeNumbersCountAsMissing) {
  TagIni ini = TagIni::Parse(
      "[n]\nempty=\nalpha=12abc\nfraction=1.5\nbareHex=0x\nbareDollar=$\nsign=-\n"
      "inner=1 2\nbadHex=0xG1\ntwoSigns=--1\nbig=9223372036854775808\n"
      "small=-9223372036854775809\nhuge=0x10000000000000000\n");
  for (const char* key : {"empty", "alpha", "fraction", "bareHex", "bareDollar", "sign", "inner",
                          "badHex", "twoSigns", "big", "small", "huge", "absent"}) {
    EXPECT_EQ(ini.ReadInteger("n", key, 99), 99) << key;
  }
}

TEST(TagIniReader, LoadsAFileAndSkipsItsByteOrderMark) {
  TempDir dir;
  WriteText(dir / "tags.ini", "\xEF\xBB\xBF[Default]\r\nTitle=\xE6\x9B\xB2\r\n");
  TagIni ini = TagIni::Load(dir / "tags.ini");
  EXPECT_EQ(ini.ReadString("Default", "Title", "-"), "\xE6\x9B\xB2");
  EXPECT_TRUE(ini.SectionExists("Default"));
}

TEST(TagIniReader, MissingFileOrDirectoryReadsAsEmpty) {
  TempDir dir;
  for (const std::string& path : {dir / "missing.ini", dir.path()}) {
    TagIni ini = TagIni::Load(path);
    EXPECT_FALSE(ini.SectionExists("Default")) << path;
    EXPECT_EQ(ini.ReadString("general", "InputFile", ""), "") << path;
    EXPECT_EQ(ini.ReadInteger("Default", "TrackNo", 3), 3) << path;
  }
}

// A file far too large to be a tag INI file is refused before a byte of it
// is read, so that memory stays small; one of the limit is read.
TEST(TagIniReader, AFileOverTheLimitIsNeverRead) {
  TempDir dir;
  for (int64_t size : {kMaxTextFileSize, kMaxTextFileSize + 1}) {
    WriteText(dir / "big.ini", "[Default]\nTitle=Big\n");
    ASSERT_EQ(::truncate((dir / "big.ini").c_str(), size), 0);  // sparse: costs no disk
    FaultPlan counter;
    std::string problem;
    TagIni ini = TagIni::Load(dir / "big.ini", &problem, counter);
    const bool refused = size > kMaxTextFileSize;
    EXPECT_EQ(ini.SectionExists("Default"), !refused);
    EXPECT_EQ(problem, refused ? "File too large" : "");
    EXPECT_EQ(counter.count(FileOp::Read) == 0, refused);
  }
}

TEST(ReadTagFromIni, EmptyFileGivesEveryDefault) {
  TMp3Tag tag = ReadTagFromIni(TagIni{}, 1, 2024);
  EXPECT_EQ(tag.Title, "");
  EXPECT_EQ(tag.Artist, "");
  EXPECT_EQ(tag.Album, "");
  EXPECT_EQ(tag.Year, "2024");
  EXPECT_EQ(tag.Comment, "");
  EXPECT_EQ(tag.Genre, "Unknown");
  EXPECT_EQ(tag.TrackNo, 0);
}

TEST(ReadTagFromIni, TrackSectionInheritsFromDefault) {
  TagIni ini = TagIni::Parse(
      "[Default]\nTitle=Base\nArtist=Band\nAlbum=Record\nYear=1999\nComment=c\nGenre=Rock\n"
      "TrackNo=5\n[Track3]\nTitle=Third\n");
  TMp3Tag third = ReadTagFromIni(ini, 3, 2024);
  EXPECT_EQ(third.Title, "Third");
  EXPECT_EQ(third.Artist, "Band");
  EXPECT_EQ(third.Album, "Record");
  EXPECT_EQ(third.Year, "1999");
  EXPECT_EQ(third.Comment, "c");
  EXPECT_EQ(third.Genre, "Rock");
  EXPECT_EQ(third.TrackNo, 5);
  EXPECT_TRUE(ini.SectionExists("Track3"));
  EXPECT_FALSE(ini.SectionExists("Track1"));
  EXPECT_EQ(ReadTagFromIni(ini, 1, 2024).Title, "Base");
}

TEST(ReadTagFromIni, TrackSectionOverridesEveryKey) {
  TagIni ini = TagIni::Parse(
      "[Default]\nTitle=Base\nTrackNo=5\nGenre=Rock\n"
      "[Track12]\nTitle=T\nArtist=A\nAlbum=B\nYear=2001\nComment=C\nGenre=rock\nTrackNo=0\n");
  TMp3Tag tag = ReadTagFromIni(ini, 12, 2024);
  EXPECT_EQ(tag.Title, "T");
  EXPECT_EQ(tag.Artist, "A");
  EXPECT_EQ(tag.Album, "B");
  EXPECT_EQ(tag.Year, "2001");
  EXPECT_EQ(tag.Comment, "C");
  EXPECT_EQ(tag.Genre, "rock");
  EXPECT_EQ(tag.TrackNo, 0);
  EXPECT_EQ(BuildId3v1Tag(tag)[127], 80);
}

TEST(ReadTagFromIni, TrackNumberKeepsItsLowEightBits) {
  struct Case {
    const char* value;
    uint8_t expected;
  };
  for (Case c : {Case{"300", 44}, Case{"-1", 255}, Case{"256", 0}, Case{"0x107", 7}}) {
    TMp3Tag inDefault =
        ReadTagFromIni(TagIni::Parse(std::string("[Default]\nTrackNo=") + c.value), 1, 2024);
    EXPECT_EQ(inDefault.TrackNo, c.expected) << c.value;
    TMp3Tag inTrack = ReadTagFromIni(
        TagIni::Parse(std::string("[Default]\nTrackNo=9\n[Track1]\nTrackNo=") + c.value), 1, 2024);
    EXPECT_EQ(inTrack.TrackNo, c.expected) << c.value;
  }
  // A track number that is no whole number falls back to the default's byte.
  TagIni bad = TagIni::Parse("[Default]\nTrackNo=265\n[Track1]\nTrackNo=12abc\n");
  EXPECT_EQ(ReadTagFromIni(bad, 1, 2024).TrackNo, 9);
}

TEST(ReadTagFromIni, YearIsCutToFourBytesInTheTag) {
  TagIni ini = TagIni::Parse("[Track1]\nYear=20051\n");
  TMp3Tag tag = ReadTagFromIni(ini, 1, 2024);
  EXPECT_EQ(tag.Year, "20051");
  auto bytes = BuildId3v1Tag(tag);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 93, 4), "2005");
  EXPECT_EQ(ReadTagFromIni(ini, 2, 1987).Year, "1987");
}
