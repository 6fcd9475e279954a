# The test build: the same sources for x86_64 Windows, run under Wine by the tests.
# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
# The package check builds its hosts with the tools these lines name, as written here.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(KDLL_OBJDUMP x86_64-w64-mingw32-objdump)
