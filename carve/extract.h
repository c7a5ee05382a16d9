// The three scan passes. Each carves one kind of stream out of one input
// file into numbered output files and returns the number of streams written.
#pragma once

#include <cstdint>
#include <string>

class Host;

int64_t ExtractMp3(Host& host, const std::string& input, const std::string& pattern);
int64_t ExtractOgg(Host& host, const std::string& input, const std::string& pattern);
int64_t ExtractWav(Host& host, const std::string& input, const std::string& pattern);
