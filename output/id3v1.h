// ID3v1 tags.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The fields of one new ID3v1 tag, byte strings as read from the tag INI file.
struct TMp3Tag {
  std::string Title;
  std::string Artist;
  std::string Album;
  std::string Year;
  std::string Comment;
  std::string Genre;
  uint8_t TrackNo = 0;  // 0: no track number (ID3v1.0 layout)
};

constexpr int kGenreCount = 81;
extern const char* const GenreNames[kGenreCount];

// The genre byte for a name: exact, case-sensitive; 80 ("Unknown") when no
// name matches.
uint8_t GenreIndexOf(const std::string& name);

// The 128-byte tag: "TAG", fields cut to their lengths and zero-filled, the
// ID3v1.1 track number in bytes 125/126 when it is not 0, the genre byte.
std::array<uint8_t, 128> BuildId3v1Tag(const TMp3Tag& tag);
