// MD5, SHA-1 and SHA-256 through OpenSSL's EVP interface (its SHA-NI and
// AVX2 ways where the processor has them). libcrypto is opened the first
// time a digest is asked for, not when the program starts: a run without
// --hash does not load it.
#include "output/digests.h"

#include <openssl/evp.h>
#include <openssl/macros.h>
#include <openssl/opensslv.h>

#include <stdexcept>

#include "platform/shared_library.h"

namespace {

struct Crypto {
  decltype(&EVP_md5) md5 = nullptr;
  decltype(&EVP_sha1) sha1 = nullptr;
  decltype(&EVP_sha256) sha256 = nullptr;
  decltype(&EVP_MD_CTX_new) ctxNew = nullptr;
  decltype(&EVP_MD_CTX_free) ctxFree = nullptr;
  decltype(&EVP_DigestInit_ex) init = nullptr;
  decltype(&EVP_DigestUpdate) update = nullptr;
  decltype(&EVP_DigestFinal_ex) final = nullptr;
};

// The functions of the libcrypto of the major version built against; null
// when it or one of them is missing. It stays open for the process.
const Crypto* Open() {
  static Crypto c;
  void* h = dlopen("libcrypto.so." OPENSSL_MSTR(OPENSSL_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
  const bool all = h != nullptr && FindFunction(h, "EVP_md5", c.md5) &&
                   FindFunction(h, "EVP_sha1", c.sha1) && FindFunction(h, "EVP_sha256", c.sha256) &&
                   FindFunction(h, "EVP_MD_CTX_new", c.ctxNew) &&
                   FindFunction(h, "EVP_MD_CTX_free", c.ctxFree) &&
                   FindFunction(h, "EVP_DigestInit_ex", c.init) &&
                   FindFunction(h, "EVP_DigestUpdate", c.update) &&
                   FindFunction(h, "EVP_DigestFinal_ex", c.final);
  return all ? &c : nullptr;
}

const Crypto* Lib() {
  static const Crypto* const lib = Open();
  return lib;
}

const EVP_MD* Algorithm(const Crypto& c, size_t i) {
  return i == 0 ? c.md5() : i == 1 ? c.sha1() : c.sha256();
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
  const Crypto* lib = nullptr;
  std::array<EVP_MD_CTX*, kHashNames.size()> ctx{};
};

OutputDigests::OutputDigests(unsigned kinds) : contexts_(std::make_unique<Contexts>()) {
  if (kinds == 0) return;
  contexts_->lib = Lib();
  for (size_t i = 0; i < kHashNames.size(); ++i) {
    if ((kinds & (1u << i)) == 0) continue;
    const Crypto* c = contexts_->lib;
    EVP_MD_CTX* ctx = c != nullptr ? c->ctxNew() : nullptr;
    if (ctx == nullptr || c->init(ctx, Algorithm(*c, i), nullptr) != 1) {
      if (ctx != nullptr) c->ctxFree(ctx);
      throw std::runtime_error("the digest " + std::string(kHashNames[i]) + " is not available");
    }
    contexts_->ctx[i] = ctx;
  }
}

OutputDigests::~OutputDigests() {
  for (EVP_MD_CTX* ctx : contexts_->ctx) {
    if (ctx != nullptr) contexts_->lib->ctxFree(ctx);
  }
}

void OutputDigests::take(const void* bytes, int64_t count) {
  for (EVP_MD_CTX* ctx : contexts_->ctx) {
    if (ctx != nullptr) contexts_->lib->update(ctx, bytes, static_cast<size_t>(count));
  }
}

Digests OutputDigests::finish() {
  std::array<std::string, kHashNames.size()> hex;
  for (size_t i = 0; i < kHashNames.size(); ++i) {
    EVP_MD_CTX* ctx = contexts_->ctx[i];
    if (ctx == nullptr) continue;
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    contexts_->lib->final(ctx, value, &size);
    hex[i] = Hex(value, size);
    contexts_->lib->ctxFree(ctx);
    contexts_->ctx[i] = nullptr;
  }
  return {hex[0], hex[1], hex[2]};
}
