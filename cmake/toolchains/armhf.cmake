# 32-bit ARM with hardware floating point (Debian armhf): 4-byte pointers and
# long, unsigned char, strict alignment for some accesses.  Tests run under
# qemu-arm.
#
#   cmake -S . -B build/cross-armhf --toolchain cmake/toolchains/armhf.cmake
#   (or: cmake --preset cross-armhf)
set(CMPR_CROSS_TRIPLET arm-linux-gnueabihf)
set(CMPR_CROSS_PROCESSOR arm)
set(CMPR_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
