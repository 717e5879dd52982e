#include "platform/hash.h"

#include <cstring>
#include <new>

#include <openssl/evp.h>

namespace {

// One libcrypto digest context that restarts after every final. A failure
// inside libcrypto (only ever a lack of memory) leaves the context broken:
// its digests then come out as zero bytes until a restart succeeds.
class DigestContext {
 public:
  explicit DigestContext(const EVP_MD* md) : md_(md), ctx_(EVP_MD_CTX_new()) {
    if (!ctx_) throw std::bad_alloc();
    restart();
  }
  ~DigestContext() { EVP_MD_CTX_free(ctx_); }
  DigestContext(const DigestContext&) = delete;
  DigestContext& operator=(const DigestContext&) = delete;

  void update(const void* data, size_t length) {
    if (broken_ || length == 0) return;
    broken_ = EVP_DigestUpdate(ctx_, data, length) != 1;
  }

  void final(uint8_t* out) {
    const size_t size = static_cast<size_t>(EVP_MD_size(md_));
    if (broken_ || EVP_DigestFinal_ex(ctx_, out, nullptr) != 1) memset(out, 0, size);
    restart();
  }

 private:
  void restart() { broken_ = EVP_DigestInit_ex(ctx_, md_, nullptr) != 1; }

  const EVP_MD* md_;
  EVP_MD_CTX* ctx_;
  bool broken_ = false;
};

}  // namespace

Hash::~Hash() = default;

struct SHA1::State : DigestContext {
  State() : DigestContext(EVP_sha1()) {}
};

SHA1::SHA1() : state_(new State) {}
SHA1::~SHA1() { delete state_; }
void SHA1::update(const void* data, size_t length) { state_->update(data, length); }
void SHA1::final(uint8_t* out) { state_->final(out); }

struct SHA256::State : DigestContext {
  State() : DigestContext(EVP_sha256()) {}
};

SHA256::SHA256() : state_(new State) {}
SHA256::~SHA256() { delete state_; }
void SHA256::update(const void* data, size_t length) { state_->update(data, length); }
void SHA256::final(uint8_t* out) { state_->final(out); }
