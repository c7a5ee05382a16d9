// The scan passes of the three first formats (the table of formats in
// carve/engine/formats.h has them all). Each carves one kind of stream out of one
// input file into numbered output files and returns the number of streams
// written; ExtractAll carves every kind that `all` runs in one read of the
// input, with the same results as their passes one after the other.
#pragma once

#include <cstdint>
#include <string>

class Host;

int64_t ExtractMp3(Host& host, const std::string& input, const std::string& pattern);
int64_t ExtractOgg(Host& host, const std::string& input, const std::string& pattern);
int64_t ExtractWav(Host& host, const std::string& input, const std::string& pattern);
int64_t ExtractAll(Host& host, const std::string& input, const std::string& pattern);
