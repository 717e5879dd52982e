#include "platform/processor.h"

#include "platform/flash_device.h"

uint32_t processorVersion() {
#if defined(__powerpc__) && defined(__linux__)
  // Linux lets user space read the version register (special-purpose
  // register 287), emulating the read where the processor traps it.
  uint32_t pvr;
  asm volatile("mfspr %0, 287" : "=r"(pvr));
  return pvr;
#else
  return 0;
#endif
}

int flashKindFor(uint32_t pvr, uint32_t (*flashQuery)()) {
  const uint32_t revision = pvr & ~0xFFu;
  if (revision == 0x80211000 || revision == 0x80212100) return flashQuery() != 0 ? 2 : 4;
  const uint32_t family = (pvr >> 16) & 0xFF;
  if (family >= 0x20 && family <= 0x21) return 2;
  if (family >= 0x83 && family <= 0x85) return 1;
  if (pvr >> 16 == 0x1302) return 3;
  return 0;
}

int flashKind() { return flashKindFor(processorVersion(), flashQuery); }
