# The i686 test build: the Wine test program, the demo host and the simulated layer for
# the emulated i386 machine (scripts/i686-vm.sh), where they load the product's own
# kdll.dll. The product's toolchain with the posix thread model: GoogleTest needs
# std::mutex, which the win32 model lacks.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-mingw.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
