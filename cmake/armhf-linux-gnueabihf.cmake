# Cross build for the instrument's 32-bit ARM board (Debian armhf: ARMv7, hard-float EABI) on a
# Debian machine with the armhf architecture added: the cross compiler of crossbuild-essential-armhf,
# the :armhf development packages of every dependency installed beside the host's (multiarch),
# and qemu-user to run what was built.
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-linux-gnueabihf.cmake
#
# scripts/cross-test installs all of it, builds and runs the unit tests under emulation.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

# The multiarch packages share the host's root (libraries and CMake packages under
# /usr/lib/arm-linux-gnueabihf, headers under /usr/include), so no find root is set. Qt's code
# generators (moc) are host programs and come from the host's packages.

# pkg-config reads the armhf .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)

# Tests and test discovery run under user-mode emulation. The armhf C library installs its own
# loader (/lib/ld-linux-armhf.so.3), so qemu-arm needs no -L: pointing it at
# /usr/arm-linux-gnueabihf would mix two builds of the C library.
find_program(QUARN_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARN_QEMU_ARM})

# Installed as Debian installs armhf libraries (GNUInstallDirs picks the multiarch folder for
# native builds only).
set(CMAKE_INSTALL_LIBDIR lib/arm-linux-gnueabihf CACHE PATH "Object code libraries")
