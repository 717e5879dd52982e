// Message digests over libcrypto. final writes the digest and starts a new
// one, so the bytes fed after it make up the next digest.
#pragma once

#include <cstddef>
#include <cstdint>

class Hash {
 public:
  virtual ~Hash();
  virtual void update(const void* data, size_t length) = 0;
  // Writes digestSize() bytes to out and starts afresh.
  virtual void final(uint8_t* out) = 0;
  virtual size_t digestSize() const = 0;
};

class SHA1 : public Hash {
 public:
  SHA1();
  ~SHA1() override;
  SHA1(const SHA1&) = delete;
  SHA1& operator=(const SHA1&) = delete;
  void update(const void* data, size_t length) override;
  void final(uint8_t* out) override;
  size_t digestSize() const override { return 20; }

 private:
  struct State;
  State* state_;
};

class SHA256 : public Hash {
 public:
  SHA256();
  ~SHA256() override;
  SHA256(const SHA256&) = delete;
  SHA256& operator=(const SHA256&) = delete;
  void update(const void* data, size_t length) override;
  void final(uint8_t* out) override;
  size_t digestSize() const override { return 32; }

 private:
  struct State;
  State* state_;
};
