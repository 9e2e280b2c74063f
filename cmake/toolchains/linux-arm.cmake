# Shared by linux-arm64.cmake and linux-armhf.cmake, which set chronvane_triplet,
# CMAKE_SYSTEM_PROCESSOR, CHRONVANE_DEBIAN_ARCH and chronvane_qemu first.
#
# Debian's cross compilers bring the C and C++ runtimes under /usr/<triplet>; the
# rest of what the programs link (libsystemd and its libraries) is unpacked by
# scripts/deps-arm into build/sysroot-<arch> rather than installed as multiarch
# packages, whose versions must match the machine's own. Qt is not looked for: the
# arm packages are console-only (README.md, On a Raspberry Pi).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${chronvane_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${chronvane_triplet}-g++)

get_filename_component(chronvane_source_dir ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(CHRONVANE_TARGET_LIBRARIES ${chronvane_source_dir}/build/sysroot-${CHRONVANE_DEBIAN_ARCH})
if(NOT EXISTS ${CHRONVANE_TARGET_LIBRARIES}/.packages)
    message(FATAL_ERROR "${CHRONVANE_TARGET_LIBRARIES} is missing: scripts/deps-arm "
                        "${CHRONVANE_DEBIAN_ARCH} unpacks the target's libraries there")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${chronvane_triplet} ${CHRONVANE_TARGET_LIBRARIES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the target's .pc files only, with their paths under the sysroot.
set(ENV{PKG_CONFIG_LIBDIR} ${CHRONVANE_TARGET_LIBRARIES}/usr/lib/${chronvane_triplet}/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${CHRONVANE_TARGET_LIBRARIES})
set(ENV{PKG_CONFIG_PATH} "")

# libsystemd's own libraries are found at link time in the sysroot (they live in
# both lib/ and usr/lib/ there, as on the board).
set(chronvane_target_lib_dirs
    ${CHRONVANE_TARGET_LIBRARIES}/lib/${chronvane_triplet}
    ${CHRONVANE_TARGET_LIBRARIES}/usr/lib/${chronvane_triplet})
string(REPLACE ";" ":" chronvane_rpath_link "${chronvane_target_lib_dirs}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${chronvane_rpath_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-rpath-link,${chronvane_rpath_link}")

# Tests run under qemu-user: the C runtime from the cross toolchain's root, the
# sysroot's libraries on the emulated loader's path. No binfmt registration needed.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${chronvane_qemu} -L /usr/${chronvane_triplet}
    -E LD_LIBRARY_PATH=${chronvane_rpath_link})

