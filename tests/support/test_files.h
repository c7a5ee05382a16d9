// Temporary folders and byte files for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A fresh folder below the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
// Deterministic pseudo-random bytes that hold no 0xFF, "Og" or "RI" pairs
// unless `anyBytes` is set, so that fixtures embedded in them are the only
// streams found.
Bytes RandomBytes(size_t count, uint32_t seed, bool anyBytes = false);
// A committed fixture from tests/data.
Bytes Fixture(const std::string& name);
std::string FixturePath(const std::string& name);
// The name of the smallest committed fixture whose name ends in
// ".EXTENSION"; empty when there is none.
std::string SmallestFixture(const std::string& extension);
// Appends `part` to `into` and returns the offset it starts at.
int64_t Append(Bytes& into, const Bytes& part);
Bytes Slice(const Bytes& bytes, int64_t start, int64_t length);
// The digest `kind` ("md5", "sha1", "sha256") of `bytes` in one go, in
// lower-case hex: what a hashed output must carry.
std::string DigestHex(const std::string& kind, const Bytes& bytes);
