// MD5, SHA-1 and SHA-256 through OpenSSL's EVP interface (its SHA-NI and
// AVX2 ways where the processor has them).
#include "output/digests.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace {

const EVP_MD* Algorithm(size_t i) {
  return i == 0 ? EVP_md5() : i == 1 ? EVP_sha1() : EVP_sha256();
}

std::string Hex(const unsigned char* bytes, unsigned count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

}  // namespace

bool ParseHashList(std::string_view list, unsigned& kinds, std::string& error) {
  kinds = 0;
  for (size_t from = 0;;) {
    const size_t comma = std::min(list.find(',', from), list.size());
    const std::string_view word = list.substr(from, comma - from);
    size_t i = 0;
    while (i < kHashNames.size() && kHashNames[i] != word) ++i;
    if (i == kHashNames.size()) {
      error = "--hash: '" + std::string(word) + "' is no digest (md5, sha1, sha256)";
      return false;
    }
    kinds |= 1u << i;
    if (comma == list.size()) return true;
    from = comma + 1;
  }
}

struct OutputDigests::Contexts {
  std::array<EVP_MD_CTX*, kHashNames.size()> ctx{};
};

OutputDigests::OutputDigests(unsigned kinds) : contexts_(std::make_unique<Contexts>()) {
  for (size_t i = 0; i < kHashNames.size(); ++i) {
    if ((kinds & (1u << i)) == 0) continue;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (ctx == nullptr || EVP_DigestInit_ex(ctx, Algorithm(i), nullptr) != 1) {
      EVP_MD_CTX_free(ctx);
      throw std::runtime_error("the digest " + std::string(kHashNames[i]) + " is not available");
    }
    contexts_->ctx[i] = ctx;
  }
}

OutputDigests::~OutputDigests() {
  for (EVP_MD_CTX* ctx : contexts_->ctx) EVP_MD_CTX_free(ctx);
}

void OutputDigests::take(const void* bytes, int64_t count) {
  for (EVP_MD_CTX* ctx : contexts_->ctx) {
    if (ctx != nullptr) EVP_DigestUpdate(ctx, bytes, static_cast<size_t>(count));
  }
}

Digests OutputDigests::finish() {
  std::array<std::string, kHashNames.size()> hex;
  for (size_t i = 0; i < kHashNames.size(); ++i) {
    EVP_MD_CTX* ctx = contexts_->ctx[i];
    if (ctx == nullptr) continue;
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(ctx, value, &size);
    hex[i] = Hex(value, size);
    EVP_MD_CTX_free(ctx);
    contexts_->ctx[i] = nullptr;
  }
  return {hex[0], hex[1], hex[2]};
}
