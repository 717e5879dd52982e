# Toolchain for the device: 32-bit big-endian PowerPC, Linux, glibc.
#
# Uses Debian's cross compiler (package g++-powerpc-linux-gnu) and links every
# executable statically, so the binaries run on the device without its
# libraries and keep working after chroot() into an empty directory.  Tests
# run under qemu-user (package qemu-user-static); ctest and
# gtest_discover_tests pick up CMAKE_CROSSCOMPILING_EMULATOR by themselves.
#
# Libraries built for the target (zlib, libcrypto, GoogleTest) are looked up
# only below TARGET_PREFIX; scripts/test-target builds and fills that prefix.
#
#   cmake -S . -B build-target \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc-linux-gnu.cmake \
#         -DTARGET_PREFIX=/var/cache/installer-target/prefix

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(_target_triple powerpc-linux-gnu)
set(CMAKE_C_COMPILER ${_target_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_target_triple}-g++)

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-ppc-static)
endif()

# Where the target's libraries live.  The cache entry wins; the environment
# variable of the same name is the fallback (it also reaches try_compile
# projects, which see the cache value through the platform variable list).
if(NOT TARGET_PREFIX AND DEFINED ENV{TARGET_PREFIX})
  set(TARGET_PREFIX "$ENV{TARGET_PREFIX}")
endif()
set(TARGET_PREFIX "${TARGET_PREFIX}" CACHE PATH
    "Install prefix of the libraries built for the target")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARGET_PREFIX)

if(NOT TARGET_PREFIX)
  message(FATAL_ERROR
    "TARGET_PREFIX is not set: pass -DTARGET_PREFIX=<dir> (or set it in the "
    "environment) naming the prefix that holds zlib, libcrypto and GoogleTest "
    "built for ${CMAKE_SYSTEM_PROCESSOR}; scripts/test-target builds one.")
endif()
set(CMAKE_FIND_ROOT_PATH "${TARGET_PREFIX}")
set(CMAKE_PREFIX_PATH "${TARGET_PREFIX}")
# Build tools come from the host; headers, libraries and package configs only
# from the target prefix, never from the host's /usr.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 64-bit off_t and time_t on the 32-bit target, as on the host.  Everything
# linked into a program must agree on them, so the libraries in TARGET_PREFIX
# are built with the same flags (see scripts/test-target).
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")

# Fully static executables.  add_link_options rather than
# CMAKE_EXE_LINKER_FLAGS_INIT, so that flags given on the command line add to
# -static instead of replacing it.  The RWX segment warning comes from the
# static PowerPC glibc start files and is harmless.
add_link_options(-static -Wl,--no-warn-rwx-segments)

# Static libraries only: no .so of libcrypto or zlib exists in the prefix
# anyway, and FindOpenSSL then attaches Threads and the dl library itself.
set(OPENSSL_USE_STATIC_LIBS TRUE)
set(ZLIB_USE_STATIC_LIBS TRUE)

# libcrypto uses 64-bit atomics, which 32-bit PowerPC gets from libatomic;
# FindOpenSSL does not know that.  The standard libraries go last on every
# link line, after the static archives that need them.
set(CMAKE_C_STANDARD_LIBRARIES_INIT "-latomic -lpthread -ldl")
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "-latomic -lpthread -ldl")
