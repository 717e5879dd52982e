#include "platform/flash_device.h"

#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const char kFlashDevice[] = "/dev/flash";
const char kMtdDevice[] = "/dev/mtd0";

constexpr unsigned long FLASH_INFO_REQUEST = 0xC0044626;
constexpr unsigned long FLASH_HARDWARE_REQUEST = 0x2000462B;
constexpr uint16_t FLASH_INFO_GROUP = 4;
constexpr uint16_t FLASH_INFO_MINIMUM_VERSION = 37;
constexpr uint32_t FLASH_HARDWARE_BIT = 0x10;

// The buffer of the information request: which item is asked for, and the
// driver's answer.
struct FlashInfoRequest {
  uint16_t group;
  uint16_t item;
  uint32_t result;
};

// Closes the descriptor when it goes out of scope.
class Device {
 public:
  Device(const char* path, int mode) : fd_(open(path, mode)) {}
  ~Device() {
    if (fd_ >= 0) close(fd_);
  }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

uint32_t flashMinimumVersion() {
  Device flash(kFlashDevice, O_RDWR);
  if (!flash.isOpen()) return 0;
  FlashInfoRequest request{FLASH_INFO_GROUP, FLASH_INFO_MINIMUM_VERSION, 0};
  if (ioctl(flash.fd(), FLASH_INFO_REQUEST, &request) < 0) return 0;
  return request.result;
}

uint32_t flashQuery() {
  Device flash(kFlashDevice, O_RDONLY);
  if (!flash.isOpen()) return 0;
  // A failed request returns -1, whose bits say nothing about the hardware.
  const int answer = ioctl(flash.fd(), FLASH_HARDWARE_REQUEST, 0);
  if (answer < 0) return 0;
  return static_cast<uint32_t>(answer) & FLASH_HARDWARE_BIT;
}

uint32_t mtdEraseSize() {
  Device mtd(kMtdDevice, O_RDONLY);
  if (!mtd.isOpen()) return 0;
  mtd_info_user info{};
  if (ioctl(mtd.fd(), MEMGETINFO, &info) < 0) return 0;
  return info.erasesize;
}
