#include "platform/boot_image.h"

#include <cstdlib>

bool bootImageRequested() { return getenv("bootimage") != nullptr; }
