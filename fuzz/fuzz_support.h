// Helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A folder of this process for the fuzzed files, made once.
const std::string& FuzzDir();
// Writes the bytes to a file in FuzzDir() and returns its path.
std::string WriteFuzzFile(const std::string& name, const uint8_t* data, size_t size);
// Removes every file below FuzzDir()/`sub` (not the folder itself).
void ClearFuzzFolder(const std::string& sub);
