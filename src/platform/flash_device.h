// The flash hardware as its drivers describe it: the two information
// requests of the flash device driver ("/dev/flash") and the geometry of the
// first MTD device. Every query answers 0 when the device does not open or
// the request fails.
#pragma once

#include <cstdint>

// The lowest system version this device runs; 0 when it sets none.
uint32_t flashMinimumVersion();

// Bit 0x10 of the driver's hardware request (0 or 0x10).
uint32_t flashQuery();

// The erase block size of "/dev/mtd0" in bytes.
uint32_t mtdEraseSize();
