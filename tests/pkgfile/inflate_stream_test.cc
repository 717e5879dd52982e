#include "pkgfile/inflate_stream.h"

#include <gtest/gtest.h>

#include "pkgfile/byte_source.h"
#include "support/package_builder.h"

namespace {

std::string sampleData(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = "abcdefgh"[(i * i / 7 + i / 13) % 8];
  return data;
}

std::string readAll(std::istream& in) {
  std::string out;
  char buffer[1000];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) out.append(buffer, in.gcount());
  return out;
}

struct Inflating {
  explicit Inflating(const std::string& compressed, size_t maxChunk = 0)
      : source(compressed, true, maxChunk), input(&source), stream(input) {}
  ByteSource source;
  std::istream input;
  InflateStream stream;
};

// Whatever size the source delivers, data after the end of the zlib stream
// is not handed out. What came out before damage or a cut is handed out;
// nothing after it.
TEST(InflateStream, DecompressesUpToTheEndOrDamage) {
  const std::string data = sampleData(100000);
  for (size_t chunk : {size_t(0), size_t(7), size_t(4096)}) {
    Inflating inflating(testpkg::compress(data) + "trailing", chunk);
    EXPECT_TRUE(data == readAll(inflating.stream)) << chunk;
    EXPECT_TRUE(inflating.stream.eof());
  }
  Inflating empty("");
  EXPECT_EQ(std::char_traits<char>::eof(), empty.stream.get());
  EXPECT_TRUE(empty.stream.fail());

  // The first 10000 bytes flushed to a byte boundary, then a block header
  // of the reserved type.
  z_stream z{};
  std::string damaged(20000, '\0');
  deflateInit(&z, Z_DEFAULT_COMPRESSION);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.next_out = reinterpret_cast<Bytef*>(&damaged[0]);
  z.avail_in = 10000;
  z.avail_out = damaged.size();
  deflate(&z, Z_FULL_FLUSH);
  damaged.resize(z.total_out);
  deflateEnd(&z);
  Inflating corrupt(damaged + '\x07' + testpkg::compress(data));
  EXPECT_TRUE(data.substr(0, 10000) == readAll(corrupt.stream));
  EXPECT_TRUE(corrupt.stream.fail());
  const std::string compressed = testpkg::compress(data);
  Inflating truncated(compressed.substr(0, compressed.size() / 2));
  const std::string got = readAll(truncated.stream);
  EXPECT_LT(got.size(), data.size());
  EXPECT_TRUE(data.substr(0, got.size()) == got);
}

// Forward only; the last byte read can still be put back after a refill.
TEST(InflateStream, SeeksForwardAndPutsBackOneByte) {
  const std::string data = sampleData(30000);
  Inflating inflating(testpkg::compress(data));
  std::istream& in = inflating.stream;
  const auto seekFails = [&in](std::streamoff offset, std::ios_base::seekdir from) {
    const bool failed = !in.seekg(offset, from);
    in.clear();
    return failed;
  };
  std::string first(4096, '\0');
  in.read(&first[0], first.size());
  in.peek();  // decompresses the next chunk
  in.unget();
  EXPECT_TRUE(in.good());
  EXPECT_EQ(data[4095], char(in.get()));
  in.seekg(5000, std::ios_base::cur);
  EXPECT_EQ(9096, in.tellg());
  EXPECT_EQ(data[9096], char(in.get()));
  in.seekg(12345);
  EXPECT_EQ(12345, in.tellg());
  EXPECT_EQ(data[12345], char(in.get()));
  EXPECT_TRUE(seekFails(100, std::ios_base::beg));
  EXPECT_TRUE(seekFails(-1, std::ios_base::cur));
  EXPECT_TRUE(seekFails(0, std::ios_base::end));
  EXPECT_EQ(data[12346], char(in.get()));
  EXPECT_TRUE(seekFails(data.size() - 12347 + 1, std::ios_base::cur));  // one past the end
}

}  // namespace
