// The processor and the hardware kind it stands for. Files in a package may
// be made for one kind of hardware only.
#pragma once

#include <cstdint>

// The PowerPC processor version register; 0 on other processors.
uint32_t processorVersion();

// The hardware kind, 0 to 4, of a processor version. flashQuery is asked
// only for the two processor revisions that need it.
int flashKindFor(uint32_t pvr, uint32_t (*flashQuery)());

// The hardware kind of this machine.
int flashKind();
