// The digests of outputs (MD5, SHA-1, SHA-256) for --hash: each computed
// while its output is written, as a tap on the file (platform/output_file.h),
// so that what is hashed is exactly what was written.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/output_file.h"

// The kinds of digest, as bits of a set.
enum HashKind : unsigned { kHashMd5 = 1, kHashSha1 = 2, kHashSha256 = 4 };
inline constexpr std::array<std::string_view, 3> kHashNames = {"md5", "sha1", "sha256"};

// The digests of one output in lower-case hex; empty where not asked for.
struct Digests {
  std::string md5, sha1, sha256;
  bool empty() const { return md5.empty() && sha1.empty() && sha256.empty(); }
  // The one of kHashNames[i].
  const std::string& operator[](size_t i) const { return i == 0 ? md5 : i == 1 ? sha1 : sha256; }
};

// Reads a list of names of kHashNames separated by commas ("md5,sha256")
// into a set of HashKind bits; false with `error` naming the first name that
// is none of them.
bool ParseHashList(std::string_view list, unsigned& kinds, std::string& error);

// Hashes every byte written to the file it taps.
class OutputDigests : public WriteTap {
 public:
  explicit OutputDigests(unsigned kinds);
  ~OutputDigests() override;
  OutputDigests(const OutputDigests&) = delete;
  OutputDigests& operator=(const OutputDigests&) = delete;

  void take(const void* bytes, int64_t count) override;
  // The digests of everything taken so far.
  Digests finish();

 private:
  struct Contexts;
  std::unique_ptr<Contexts> contexts_;
};
