// Numbers modulo p = 2^255 - 19, plainly on BIGNUM: the reference that the
// field arithmetic and the legacy signature check are held against.
#pragma once

#include <openssl/bn.h>

#include <array>
#include <cstdint>

using Bytes32 = std::array<uint8_t, 32>;

class Num {
 public:
  Num(unsigned long w = 0) : n_(BN_new()) { BN_set_word(n_, w); }
  Num(const Num& other) : n_(BN_dup(other.n_)) {}
  Num& operator=(const Num& other) {
    BN_copy(n_, other.n_);
    return *this;
  }
  ~Num() { BN_free(n_); }

  // Little-endian, reduced modulo p.
  static Num fromBytes(const Bytes32& bytes) {
    Num x;
    BN_lebin2bn(bytes.data(), 32, x.n_);
    BN_nnmod(x.n_, x.n_, prime(), ctx());
    return x;
  }
  static Num fromDecimal(const char* text) {
    Num x;
    BN_dec2bn(&x.n_, text);
    return x;
  }
  Bytes32 bytes() const {
    Bytes32 out;
    BN_bn2lebinpad(n_, out.data(), 32);
    return out;
  }

  friend Num operator+(const Num& a, const Num& b) { return a.apply(b, BN_mod_add); }
  friend Num operator-(const Num& a, const Num& b) { return a.apply(b, BN_mod_sub); }
  friend Num operator*(const Num& a, const Num& b) { return a.apply(b, BN_mod_mul); }
  friend Num operator/(const Num& a, const Num& b) {
    Num inverse;
    BN_mod_inverse(inverse.n_, b.n_, prime(), ctx());
    return a * inverse;
  }
  Num power(const Num& exponent) const { return apply(exponent, BN_mod_exp); }
  bool operator==(const Num& other) const { return BN_cmp(n_, other.n_) == 0; }
  bool isZero() const { return BN_is_zero(n_); }
  bool isOdd() const { return BN_is_odd(n_); }
  bool squareRoot(Num& root) const { return BN_mod_sqrt(root.n_, n_, prime(), ctx()) != nullptr; }

 private:
  using ModOp = int (*)(BIGNUM*, const BIGNUM*, const BIGNUM*, const BIGNUM*, BN_CTX*);
  Num apply(const Num& b, ModOp op) const {
    Num r;
    op(r.n_, n_, b.n_, prime(), ctx());
    return r;
  }
  static BN_CTX* ctx() {
    static BN_CTX* c = BN_CTX_new();
    return c;
  }
  static const BIGNUM* prime() {
    static BIGNUM* p = [] {
      BIGNUM* b = nullptr;
      BN_hex2bn(&b, "7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffed");
      return b;
    }();
    return p;
  }

  BIGNUM* n_;
};
