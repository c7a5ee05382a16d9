// CRC-32 (the reflected IEEE 802.3 polynomial) and the checksum of whole files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class InputFile;

// Runs the first `count` bytes of `block` through the CRC. `crc` is the
// finished CRC-32 of everything before (0 for new data); the result is the
// finished CRC-32 of everything so far. A count of 0 or less returns `crc`.
uint32_t UpdateCrc(uint32_t crc, const void* block, int64_t count);

// The CRC-32 of the whole file, whatever its position. `showProgress` gets
// the progress text "CRCの計算中...(%5.1f%%)" each time the shown value grows
// (starting with 0.0); `pump` is called between blocks so that a window
// stays live (it is the caller's to pace).
uint32_t CalcFileCrc(InputFile& file, const std::function<void(const std::string&)>& showProgress,
                     const std::function<void()>& pump);

// Eight upper-case hex digits per value, joined by ", ".
std::string CrcListText(const std::vector<uint32_t>& values);
