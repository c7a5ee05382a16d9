// placeholder: being written
#include "output/id3v1.h"
const char* const GenreNames[kGenreCount] = {};
uint8_t GenreIndexOf(const std::string&) { return 80; }
std::array<uint8_t, 128> BuildId3v1Tag(const TMp3Tag&) { return {}; }
