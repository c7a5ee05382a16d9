#include "output/id3v1.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::string Field(const std::array<uint8_t, 128>& tag, size_t offset, size_t length) {
  return std::string(reinterpret_cast<const char*>(tag.data()) + offset, length);
}

std::string Zeros(size_t n) { return std::string(n, '\0'); }

}  // namespace

TEST(GenreNames, TableHoldsTheStandardListAndUnknown) {
  EXPECT_STREQ(GenreNames[0], "Blues");
  EXPECT_STREQ(GenreNames[14], "R&B");
  EXPECT_STREQ(GenreNames[17], "Rock");
  EXPECT_STREQ(GenreNames[46], "Instrumental Pop");
  EXPECT_STREQ(GenreNames[60], "Top 40");
  EXPECT_STREQ(GenreNames[62], "Pop/Funk");
  EXPECT_STREQ(GenreNames[67], "Psychadelic");
  EXPECT_STREQ(GenreNames[78], "Rock & Roll");
  EXPECT_STREQ(GenreNames[79], "Hard Rock");
  EXPECT_STREQ(GenreNames[80], "Unknown");
  std::set<std::string> distinct(GenreNames, GenreNames + kGenreCount);
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kGenreCount));
}

TEST(GenreIndexOf, EveryNameFindsItsOwnIndex) {
  for (int i = 0; i < kGenreCount; ++i) EXPECT_EQ(GenreIndexOf(GenreNames[i]), i) << GenreNames[i];
}

TEST(GenreIndexOf, MatchesExactlyOrGivesUnknown) {
  EXPECT_EQ(GenreIndexOf("Rock"), 17);
  EXPECT_EQ(GenreIndexOf("rock"), 80);
  EXPECT_EQ(GenreIndexOf("ROCK"), 80);
  EXPECT_EQ(GenreIndexOf(" Rock"), 80);
  EXPECT_EQ(GenreIndexOf("Rock "), 80);
  EXPECT_EQ(GenreIndexOf("17"), 80);
  EXPECT_EQ(GenreIndexOf(""), 80);
  EXPECT_EQ(GenreIndexOf(std::string("Rock\0x", 6)), 80);
}

TEST(BuildId3v1Tag, Id3v10LayoutWithShortFields) {
  TMp3Tag t;
  t.Title = "Title";
  t.Artist = "Artist";
  t.Album = "Album";
  t.Year = "2005";
  t.Comment = "Comment";
  t.Genre = "Jazz";
  auto tag = BuildId3v1Tag(t);
  EXPECT_EQ(Field(tag, 0, 3), "TAG");
  EXPECT_EQ(Field(tag, 3, 30), "Title" + Zeros(25));
  EXPECT_EQ(Field(tag, 33, 30), "Artist" + Zeros(24));
  EXPECT_EQ(Field(tag, 63, 30), "Album" + Zeros(25));
  EXPECT_EQ(Field(tag, 93, 4), "2005");
  EXPECT_EQ(Field(tag, 97, 30), "Comment" + Zeros(23));
  EXPECT_EQ(tag[127], 8);
}

TEST(BuildId3v1Tag, EmptyFieldsGiveZerosAndUnknownGenre) {
  auto tag = BuildId3v1Tag(TMp3Tag{});
  EXPECT_EQ(Field(tag, 0, 3), "TAG");
  EXPECT_EQ(Field(tag, 3, 124), Zeros(124));
  EXPECT_EQ(tag[127], 80);
}

TEST(BuildId3v1Tag, LongTextsAreCutByBytesWithoutTerminator) {
  TMp3Tag t;
  t.Title = std::string(30, 'T');
  t.Artist = std::string(31, 'A') + "overflow";
  t.Album = std::string(40, 'B');
  t.Year = "20051";
  t.Comment = std::string(30, 'C');
  auto tag = BuildId3v1Tag(t);
  EXPECT_EQ(Field(tag, 3, 30), std::string(30, 'T'));
  EXPECT_EQ(Field(tag, 33, 30), std::string(30, 'A'));
  EXPECT_EQ(Field(tag, 63, 30), std::string(30, 'B'));
  EXPECT_EQ(Field(tag, 93, 4), "2005");
  EXPECT_EQ(Field(tag, 97, 30), std::string(30, 'C'));  // track 0: the comment fills 30 bytes
  // A multi-byte character is cut in half at the field's end.
  t.Title = std::string(29, 'x') + "\xE6\x9B\xB2";
  EXPECT_EQ(Field(BuildId3v1Tag(t), 3, 30), std::string(29, 'x') + "\xE6");
}

TEST(BuildId3v1Tag, TrackNumberTakesTheCommentsLastTwoBytes) {
  TMp3Tag t;
  t.Comment = std::string(30, 'C');
  t.TrackNo = 7;
  auto tag = BuildId3v1Tag(t);
  EXPECT_EQ(Field(tag, 97, 28), std::string(28, 'C'));
  EXPECT_EQ(tag[125], 0);
  EXPECT_EQ(tag[126], 7);

  t.Comment = std::string(29, 'C');
  t.TrackNo = 255;
  tag = BuildId3v1Tag(t);
  EXPECT_EQ(Field(tag, 97, 28), std::string(28, 'C'));
  EXPECT_EQ(tag[125], 0);
  EXPECT_EQ(tag[126], 255);
}
