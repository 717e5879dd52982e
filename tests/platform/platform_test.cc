#include <fcntl.h>
#include <openssl/err.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/eddsa.h"
#include "platform/file_ops.h"
#include "platform/flash_device.h"
#include "platform/guarded_path.h"
#include "platform/processor.h"
#include "platform/root_path.h"
#include "support/package_builder.h"
#include "support/private_root.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testpkg::fromHex;

int verify(const Bytes& key, const Bytes& message, const Bytes& signature) {
  return eddsa::verify({key.data(), key.data() + key.size()}, {message.data(), message.data() + message.size()},
                       {signature.data(), signature.data() + signature.size()});
}

// The key of RFC 8032's first example and what its secret signs of a 32-byte
// message like a digest buffer. One byte more or less of the signature or
// the key, ends given the wrong way round, and any changed bit are refused,
// leaving nothing behind in libcrypto's error queue.
TEST(Eddsa, KnownSignatureAndRefusals) {
  Bytes key = fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"), message(32);
  Bytes signature = fromHex(
      "00c1db988bb12fd7351a6054ae3fac90fab7e4fc56b1651c7181f5f55f896f663933d3a90605d9058e9d0ac45950ee2d"
      "3c9c9b14857415587179fe0ccac35f09");
  for (size_t i = 0; i < message.size(); ++i) message[i] = uint8_t(i);
  EXPECT_NE(0, verify(key, message, signature));
  Bytes longer = signature;
  longer.push_back(0);
  EXPECT_EQ(0, verify(key, message, longer));
  EXPECT_EQ(0, verify(key, message, {signature.begin(), signature.end() - 1}));
  EXPECT_EQ(0, verify({key.begin(), key.end() - 1}, message, signature));
  EXPECT_EQ(0, eddsa::verify({key.data() + 32, key.data()}, {message.data(), message.data() + 32},
                             {signature.data(), signature.data() + 64}));
  for (Bytes* bytes : {&message, &signature, &key}) {
    for (size_t bit = 0; bit < bytes->size() * 8; ++bit) {
      (*bytes)[bit / 8] ^= 1 << (bit % 8);
      EXPECT_EQ(0, verify(key, message, signature)) << "bit " << bit;
      (*bytes)[bit / 8] ^= 1 << (bit % 8);
    }
  }
  EXPECT_EQ(0u, ERR_peek_error());
}

uint32_t answer = 0;
int queries = 0;
uint32_t flashAnswer() {
  ++queries;
  return answer;
}

// Two revisions ask the flash device; the others go by processor family,
// at the edges of each family's range.
TEST(FlashKind, FollowsTheProcessorVersion) {
  const struct {
    uint32_t pvr, answer;
    int kind, queries;
  } rows[] = {
      {0x80211000, 0x10, 2, 1}, {0x802110FF, 0, 4, 1}, {0x80212142, 0, 4, 1}, {0x80201000, 0, 2, 0},
      {0x00210000, 0, 2, 0},    {0x001F0000, 0, 0, 0}, {0x00220000, 0, 0, 0}, {0x00830000, 0, 1, 0},
      {0x80850102, 0, 1, 0},    {0x00860000, 0, 0, 0}, {0x00820000, 0, 0, 0}, {0x13020021, 0, 3, 0},
      {0x13030000, 0, 0, 0},    {0x14020000, 0, 0, 0},
  };
  for (const auto& row : rows) {
    answer = row.answer;
    queries = 0;
    EXPECT_EQ(row.kind, flashKindFor(row.pvr, flashAnswer)) << std::hex << row.pvr;
    EXPECT_EQ(row.queries, queries) << std::hex << row.pvr;
  }
}

// Without the devices, or with files that open but answer no request (a
// driver that lacks them).
TEST(FlashDevice, MissingOrSilentDevicesAnswerZero) {
  PrivateRoot root;
  for (bool present : {false, true}) {
    if (present) {
      root.write("/dev/flash", "");
      root.write("/dev/mtd0", "");
    }
    EXPECT_TRUE(runInRoot(root, [] {
      EXPECT_EQ(0u, flashMinimumVersion());
      EXPECT_EQ(0u, flashQuery());
      EXPECT_EQ(0u, mtdEraseSize());
      EXPECT_EQ(4, flashKindFor(0x80211000, flashQuery));
    })) << present;
  }
}

// What the link guard remembers of directories (opened, or found missing)
// follows the changes the installer makes: a directory made, renamed or
// replaced by a link is seen as it is now.
TEST(GuardedPath, WhatItRemembersFollowsTheChangesMade) {
  PrivateRoot root;
  root.makeDir("/flash/old/sub");
  EXPECT_TRUE(runInRoot(root, [] {
    PathAt at;
    std::string nearest;
    struct stat st;
    // Missing: asked twice, the second time from what was remembered.
    for (int twice = 0; twice < 2; ++twice) {
      EXPECT_FALSE(resolveBelowPlace("/flash/new/deep/file", at));
      EXPECT_EQ(ENOENT, errno);
      EXPECT_FALSE(leadsThroughLink("/flash/new/deep/file"));
      nearest.clear();
      EXPECT_GE(nearestDirectoryBelowPlace("/flash/new/deep", nearest), 0);
      EXPECT_EQ("/flash", nearest);
    }
    // Made: found where it is now.
    EXPECT_EQ(0, fileops::mkdir("/flash/new", 0755));
    EXPECT_EQ(0, fileops::mkdir("/flash/new/deep", 0755));
    EXPECT_TRUE(resolveBelowPlace("/flash/new/deep/file", at));
    nearest.clear();
    EXPECT_GE(nearestDirectoryBelowPlace("/flash/new/deep", nearest), 0);
    EXPECT_EQ("/flash/new/deep", nearest);
    // Renamed: the old path leads nowhere, the new one to the directory.
    EXPECT_TRUE(resolveBelowPlace("/flash/old/sub/file", at));
    EXPECT_EQ(0, fileops::rename("/flash/old", "/flash/moved"));
    EXPECT_FALSE(resolveBelowPlace("/flash/old/sub/file", at));
    EXPECT_EQ(0, lstatBelowPlace("/flash/moved/sub", st));
    // Replaced by a link where it was missing: the guard sees the link.
    EXPECT_FALSE(leadsThroughLink("/flash/gone/file"));
    EXPECT_EQ(0, fileops::symlink("/etc", "/flash/gone"));
    EXPECT_TRUE(leadsThroughLink("/flash/gone/file"));
    EXPECT_FALSE(resolveBelowPlace("/flash/gone/file", at));
    EXPECT_EQ(ELOOP, errno);
    // Paths with empty or dot components take the long way, with the same
    // answers.
    EXPECT_TRUE(resolveBelowPlace("/flash//new/deep/file", at));
    EXPECT_FALSE(resolveBelowPlace("/flash/new/./deep/file", at));
    EXPECT_EQ(EINVAL, errno);
  }));
}

// Paths below a root directory resolve as they would after a change of
// root: links are followed, absolute ones from the root, ".." stops at the
// root, and a loop of links ends in ELOOP. Each row names the file that the
// path resolves to, or the errno.
TEST(RootPath, LinksAndDotsStayBelowTheRoot) {
  PrivateRoot root;
  root.write("/etc/x", "root's x");
  root.write("/flash/etc/x", "flash x");
  symlink("/etc", root.host("/flash/abs").c_str());
  symlink("../../../../etc/x", root.host("/flash/up").c_str());
  symlink("etc", root.host("/flash/rel").c_str());
  symlink("loop2", root.host("/flash/loop1").c_str());
  symlink("loop1", root.host("/flash/loop2").c_str());
  const int dir = open(root.path().c_str(), O_RDONLY | O_DIRECTORY);
  const struct {
    const char* path;
    const char* file;
    int error;
  } rows[] = {
      {"/flash/abs/x", "/etc/x", 0},   {"/flash/up", "/etc/x", 0},           {"flash/rel/x", "/flash/etc/x", 0},
      {"/../../etc/x", "/etc/x", 0},   {"/flash/etc/./x", "/flash/etc/x", 0}, {"/flash/abs/..", "/", 0},
      {"/flash/loop1", "", ELOOP},     {"/flash/loop1/x", "", ELOOP},        {"/flash/none/x", "", ENOENT},
  };
  for (const auto& row : rows) {
    std::string last;
    const int holder = resolveInRoot(dir, row.path, last);
    EXPECT_EQ(row.error, holder < 0 ? errno : 0) << row.path;
    if (holder < 0) continue;
    struct stat found, wanted;
    EXPECT_EQ(0, fstatat(holder, last.c_str(), &found, AT_SYMLINK_NOFOLLOW)) << row.path;
    ASSERT_EQ(0, stat(root.host(row.file).c_str(), &wanted));
    EXPECT_EQ(wanted.st_ino, found.st_ino) << row.path;
    close(holder);
  }
  close(dir);
}

}  // namespace
