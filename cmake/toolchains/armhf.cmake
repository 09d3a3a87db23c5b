# 32-bit ARM with hardware floating point (Debian armhf): 4-byte pointers and
# long, unsigned char, strict alignment for some accesses.  Tests run under
# qemu-arm on a CPU model with ARMv8's instructions, which the library picks
# at run time; the CRC-32 tests run once more on a typical ARMv7 board's
# CPU, which has none of them, and the compressor's tests on an ARMv7 CPU
# without NEON.
#
#   cmake -S . -B build/cross-armhf --toolchain cmake/toolchains/armhf.cmake
#   (or: cmake --preset cross-armhf)
set(CMPR_CROSS_TRIPLET arm-linux-gnueabihf)
set(CMPR_CROSS_PROCESSOR arm)
set(CMPR_CROSS_QEMU qemu-arm)
set(CMPR_CROSS_QEMU_CPU max)
set(CMPR_CROSS_QEMU_CPU_BASELINE cortex-a7)
set(CMPR_CROSS_QEMU_CPU_NO_VECTORS cortex-r5f)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
