# The RVX-4417K firmware downloader for host programs: find_package(kdll) gives the
# imported target kdll::kdll, for the width of the host's build: the 32-bit kdll.dll
# (bin/x86) or the 64-bit one (bin/x64, with KDLL_X64 defined, as kdll.h requires). It
# links kdll.lib with Microsoft's tools and libkdll.dll.a with MinGW. KDLL_RUNTIME_FILES
# names the DLLs to put beside the host's program: kdll.dll, and our WNASPI32.dll for
# Windows 2000 and later (Windows 9x has an ASPI layer of its own).
get_filename_component(_kdll_root "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_kdll_width x64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_kdll_width x86)
else()
    set(kdll_FOUND FALSE)
    set(kdll_NOT_FOUND_MESSAGE
        "kdll: no C or C++ compiler known yet to tell 32 from 64 bits: call project() first")
    return()
endif()
if(MINGW)
    set(_kdll_implib ${_kdll_root}/lib/${_kdll_width}/libkdll.dll.a)
else()
    set(_kdll_implib ${_kdll_root}/lib/${_kdll_width}/kdll.lib)
endif()

if(NOT TARGET kdll::kdll)
    add_library(kdll::kdll SHARED IMPORTED)
    set_target_properties(kdll::kdll PROPERTIES
        IMPORTED_LOCATION ${_kdll_root}/bin/${_kdll_width}/kdll.dll
        IMPORTED_IMPLIB ${_kdll_implib}
        INTERFACE_INCLUDE_DIRECTORIES ${_kdll_root}/include)
    if(_kdll_width STREQUAL "x64")
        set_target_properties(kdll::kdll PROPERTIES INTERFACE_COMPILE_DEFINITIONS KDLL_X64)
    endif()
endif()
set(KDLL_RUNTIME_FILES ${_kdll_root}/bin/${_kdll_width}/kdll.dll
    ${_kdll_root}/bin/${_kdll_width}/WNASPI32.dll)
unset(_kdll_root)
unset(_kdll_width)
unset(_kdll_implib)
