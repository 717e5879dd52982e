// The calls that change what is on disk, in one place. Below the places
// that the installer writes (guarded_path.h) none of them goes through a
// symbolic link: one met on the way fails the call with ELOOP. A test can
// make any one of them fail with a chosen errno, or end the process at it
// as a power cut would, and then start the program again on what was left
// (the way a database's test file layer does).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace fileops {

int open(const char* path, int flags, mode_t mode = 0);
// Makes a new file named after the pattern, its trailing X's replaced,
// with the permission bits given (less the umask); the descriptor is open
// for reading and writing.
int mkstemp(char* pattern, mode_t mode = 0600);
// Writes the whole buffer, going on after short writes and interruptions;
// false with errno set when the system refuses.
bool writeAll(int fd, const char* data, size_t size);
int close(int fd);
int fchmod(int fd, mode_t mode);
int fsync(int fd);
// Starts writing what the file holds to its disk, without waiting: the sync
// that makes it durable later finds it written. A hint (not counted as an
// operation); what it does not do, the sync does.
void startWriteback(int fd);
// Makes everything written to the file system that holds the path durable.
int syncfs(const char* path);
int rename(const char* from, const char* to);
int unlink(const char* path);
int rmdir(const char* path);
int mkdir(const char* path, mode_t mode);
int symlink(const char* text, const char* path);
// A directory opened for listing (not counted as an operation).
int openDirectory(const char* path);

// What a test asks of the operation with the given number (counted from 1
// in call order): fail it with error, end the process there, end it as a
// power cut does (the data written since the last sync comes back empty),
// or run out of memory there (std::bad_alloc, thrown only by the operations
// that no destructor makes: open, mkstemp, rename, unlink, rmdir, mkdir and
// symlink; at any other it is no fault).
enum class Fault { None, Fail, Kill, PowerCut, OutOfMemory };
struct FaultPlan {
  Fault fault = Fault::None;
  uint64_t at = 0;
  int error = 0;
  bool trace = false;  // every operation is printed on standard error
};
void setFaultPlan(const FaultPlan& plan);
// The operations made so far.
uint64_t operationCount();
// The status with which a faulted run ends.
constexpr int FAULT_EXIT_STATUS = 99;

}  // namespace fileops

namespace fileops {

// Makes the entries of a directory durable: names made, renamed or removed
// in it.
bool syncDirectory(const char* path);

}  // namespace fileops
