# Shared by the toolchain files of this folder: a cross build with one of
# Debian's cross compilers (package g++-TRIPLET), whose tests run under
# qemu-user.  The including file sets CMPR_CROSS_TRIPLET, CMPR_CROSS_PROCESSOR
# and CMPR_CROSS_QEMU (the qemu-user program for the target), and may set
# CMPR_CROSS_QEMU_CPU (the CPU model the tests run on),
# CMPR_CROSS_QEMU_CPU_BASELINE (one the CRC-32 tests run on once more) and
# CMPR_CROSS_QEMU_CPU_NO_VECTORS (one without the vector unit that the
# compressor uses where it can, which its tests run on once more).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${CMPR_CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${CMPR_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CMPR_CROSS_TRIPLET}-g++)

# The cross toolchain installs the target's C and C++ libraries and headers
# under /usr/TRIPLET.  Libraries and headers come from there only, never from
# the host; programs (nm, pkg-config) are the host's.  CMake packages come
# from there and from the prefixes a project names (CMAKE_PREFIX_PATH, say an
# install of this library built for the target), as given.
set(CMPR_CROSS_ROOT /usr/${CMPR_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${CMPR_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# ctest runs every test program through qemu-user.  -L points the target's
# dynamic loader and libraries at the cross toolchain's copies, so that
# dynamically linked programs run, those linked against libcmpr.so included
# (the build tree's run path is followed as on the target).
find_program(CMPR_CROSS_QEMU_PROGRAM ${CMPR_CROSS_QEMU} NO_CMAKE_FIND_ROOT_PATH)
if(NOT CMPR_CROSS_QEMU_PROGRAM)
  message(FATAL_ERROR "${CMPR_CROSS_QEMU} not found: install the package qemu-user")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMPR_CROSS_QEMU_PROGRAM} -L ${CMPR_CROSS_ROOT})
if(CMPR_CROSS_QEMU_CPU)
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -cpu ${CMPR_CROSS_QEMU_CPU})
endif()

# GNUInstallDirs gives Debian's multiarch libdir to a native build installed
# for /usr, but not to a cross build.  Here a build installed for /usr gets
# it too (lib/TRIPLET, where Debian puts the target's libraries), any other
# prefix gets lib, and a CMAKE_INSTALL_LIBDIR given on the command line wins.
get_property(cmpr_libdir_given CACHE CMAKE_INSTALL_LIBDIR PROPERTY TYPE SET)
if(NOT cmpr_libdir_given)
  if(CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
    set(CMAKE_INSTALL_LIBDIR lib/${CMPR_CROSS_TRIPLET})
  else()
    set(CMAKE_INSTALL_LIBDIR lib)
  endif()
endif()
