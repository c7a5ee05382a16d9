#include "support/test_files.h"

#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "zandrel-test-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes RandomBytes(size_t count, uint32_t seed, bool anyBytes) {
  std::mt19937 gen(seed);
  Bytes out(count);
  for (size_t i = 0; i < count; ++i) {
    uint8_t b = static_cast<uint8_t>(gen());
    if (!anyBytes) {
      // No 0xFF at all, and no 'g' after 'O' nor 'I' after 'R'.
      if (b == 0xFF) b = 0x7F;
      if (i > 0 && ((out[i - 1] == 'O' && b == 'g') || (out[i - 1] == 'R' && b == 'I'))) b = 0x20;
    }
    out[i] = b;
  }
  return out;
}

std::string FixturePath(const std::string& name) {
  return std::string(ZANDREL_TEST_DATA) + "/" + name;
}

Bytes Fixture(const std::string& name) { return ReadBytes(FixturePath(name)); }

std::string SmallestFixture(const std::string& extension) {
  std::string best;
  uintmax_t smallest = UINTMAX_MAX;
  for (const auto& entry : std::filesystem::directory_iterator(ZANDREL_TEST_DATA)) {
    if (entry.path().extension() == "." + extension && entry.file_size() < smallest) {
      smallest = entry.file_size();
      best = entry.path().filename().string();
    }
  }
  return best;
}

int64_t Append(Bytes& into, const Bytes& part) {
  int64_t at = static_cast<int64_t>(into.size());
  into.insert(into.end(), part.begin(), part.end());
  return at;
}

Bytes Slice(const Bytes& bytes, int64_t start, int64_t length) {
  return Bytes(bytes.begin() + start, bytes.begin() + start + length);
}

std::string DigestHex(const std::string& kind, const Bytes& bytes) {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_Digest(bytes.data(), bytes.size(), value, &size, EVP_get_digestbyname(kind.c_str()), nullptr);
  std::string hex;
  for (unsigned i = 0; i < size; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", value[i]);
    hex += two;
  }
  return hex;
}
