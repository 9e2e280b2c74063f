# Cross-builds for 32-bit ARM Linux with hardware floating point (Raspberry Pi 2
# and later with a 32-bit OS) with Debian's crossbuild-essential-armhf; tests run
# under qemu-arm.
set(chronvane_triplet arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CHRONVANE_DEBIAN_ARCH armhf)
set(chronvane_qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-arm.cmake)
# GCC 12 warns of overlapping copies inside libstdc++'s own std::string code when
# it inlines it for 32-bit targets (GCC bug 105651, a false positive fixed in 13).
# -Wno-psabi: the notes that GCC 7.1 changed how some arguments are passed concern
# code built with a GCC older than 7, and nothing here is.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict -Wno-psabi")
