# Cross-builds for 64-bit ARM Linux (Raspberry Pi 3, 4, 5 with a 64-bit OS) with
# Debian's crossbuild-essential-arm64; tests run under qemu-aarch64.
set(chronvane_triplet aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CHRONVANE_DEBIAN_ARCH arm64)
set(chronvane_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-arm.cmake)
