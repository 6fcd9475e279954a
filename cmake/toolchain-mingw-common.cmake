# What the MinGW-w64 toolchain files share, included once they have set
# CMAKE_SYSTEM_PROCESSOR: Windows on that processor, its resource compiler, and headers
# and libraries from its MinGW-w64 tree only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_RC_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
