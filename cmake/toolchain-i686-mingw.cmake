# The product: a 32-bit Windows DLL.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
# The package check builds its hosts with the tools these lines name, as written here.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(KDLL_OBJDUMP i686-w64-mingw32-objdump)
