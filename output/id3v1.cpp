// ID3v1 tags: the genre table and the 128-byte tag.
#include "output/id3v1.h"

#include <algorithm>
#include <cstring>

// clang-format off
const char* const GenreNames[kGenreCount] = {
    /*  0 */ "Blues", "Classic Rock", "Country", "Dance", "Disco",
    /*  5 */ "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    /* 10 */ "New Age", "Oldies", "Other", "Pop", "R&B",
    /* 15 */ "Rap", "Reggae", "Rock", "Techno", "Industrial",
    /* 20 */ "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack",
    /* 25 */ "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk",
    /* 30 */ "Fusion", "Trance", "Classical", "Instrumental", "Acid",
    /* 35 */ "House", "Game", "Sound Clip", "Gospel", "Noise",
    /* 40 */ "AlternRock", "Bass", "Soul", "Punk", "Space",
    /* 45 */ "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    /* 50 */ "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance",
    /* 55 */ "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
    /* 60 */ "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    /* 65 */ "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes",
    /* 70 */ "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz",
    /* 75 */ "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    /* 80 */ "Unknown",
};
// clang-format on

namespace {

constexpr uint8_t kUnknownGenre = 80;

// Copies the first bytes of `text` into the field; the rest stays zero.
void PutField(std::array<uint8_t, 128>& tag, size_t offset, size_t length,
              const std::string& text) {
  std::memcpy(tag.data() + offset, text.data(), std::min(length, text.size()));
}

}  // namespace

uint8_t GenreIndexOf(const std::string& name) {
  for (int i = 0; i < kGenreCount; ++i) {
    if (name == GenreNames[i]) return static_cast<uint8_t>(i);
  }
  return kUnknownGenre;
}

std::array<uint8_t, 128> BuildId3v1Tag(const TMp3Tag& tag) {
  std::array<uint8_t, 128> out{};
  PutField(out, 0, 3, "TAG");
  PutField(out, 3, 30, tag.Title);
  PutField(out, 33, 30, tag.Artist);
  PutField(out, 63, 30, tag.Album);
  PutField(out, 93, 4, tag.Year);
  PutField(out, 97, 30, tag.Comment);
  if (tag.TrackNo != 0) {  // ID3v1.1: the track number takes the comment's last two bytes
    out[125] = 0;
    out[126] = tag.TrackNo;
  }
  out[127] = GenreIndexOf(tag.Genre);
  return out;
}
