// Whether the system asks for the boot image: a package that carries it is
// then installed as the boot image instead of having its files unpacked.
#pragma once

// True when the environment variable "bootimage" is set, even to "".
bool bootImageRequested();
