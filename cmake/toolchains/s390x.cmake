# 64-bit IBM Z (Debian s390x): big-endian, 8-byte pointers and long, unsigned
# char.  Tests run under qemu-s390x.
#
#   cmake -S . -B build/cross-s390x --toolchain cmake/toolchains/s390x.cmake
#   (or: cmake --preset cross-s390x)
set(CMPR_CROSS_TRIPLET s390x-linux-gnu)
set(CMPR_CROSS_PROCESSOR s390x)
set(CMPR_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
