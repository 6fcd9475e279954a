# The package, made by install() and CPack in the i686 build: one zip for Windows,
# scripts/package.sh builds it into dist/. At its top the end user's folder: rvxflash.exe
# with kdll.dll, our WNASPI32.dll and aspiinfo.exe (the kdll_ship() lines beside their
# targets), and FLASHING.txt. In developers/ what host developers build with, for 32-bit
# (x86) and 64-bit (x64) hosts: the header, both libraries with their import libraries for
# MinGW and for Microsoft's linker, the CMake package, the sample host, the binaries with
# their symbols, zqxtool and the notes.
#
# The 64-bit libraries come from the x86_64 build (KDLL_X64_BUILD), which must have been
# built first: its kdll_ship() lines leave them in ship/ and symbols/, and
# cmake/KdllImportLibraries.cmake its import libraries in lib/.

set(KDLL_PACKAGE_NAME kdll-${PROJECT_VERSION}-win32)
set(KDLL_X64_BUILD ${PROJECT_SOURCE_DIR}/build/win64 CACHE PATH
    "The x86_64 build whose libraries the package ships for 64-bit hosts")

# What a host developer builds against.
kdll_package_file(${PROJECT_SOURCE_DIR}/include/kdll.h developers/include/kdll.h)
kdll_package_file(${PROJECT_SOURCE_DIR}/src/host/kdll.def developers/lib/kdll.def)
foreach(library kdll.lib libkdll.dll.a)
    kdll_package_file(${CMAKE_BINARY_DIR}/lib/${library} developers/lib/x86/${library})
    kdll_package_file(${KDLL_X64_BUILD}/lib/${library} developers/lib/x64/${library})
endforeach()
foreach(library kdll.dll WNASPI32.dll)
    kdll_package_file(${KDLL_X64_BUILD}/ship/${library} developers/bin/x64/${library})
    kdll_package_file(${KDLL_X64_BUILD}/symbols/${library} developers/symbols/x64/${library})
endforeach()

# find_package(kdll): kdll::kdll for the build's width. The configuration picks the
# width itself, so the version file must not hold the package to one.
kdll_package_file(${PROJECT_SOURCE_DIR}/package/kdllConfig.cmake
                  developers/lib/cmake/kdll/kdllConfig.cmake)
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kdllConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion
                                 ARCH_INDEPENDENT)
kdll_package_file(${CMAKE_BINARY_DIR}/kdllConfigVersion.cmake
                  developers/lib/cmake/kdll/kdllConfigVersion.cmake)

# rvxflash's window code, its manifest and the one call it makes besides kdll.h, with an
# answer to that call from the command line, and a CMakeLists.txt that builds them: the
# sample host.
foreach(file FlashHost.c FlashHost.rc FlashHost.manifest DriveChoice.h DriveByAddress.c)
    kdll_package_file(${PROJECT_SOURCE_DIR}/flasher/${file} developers/sample/${file})
endforeach()
kdll_package_file(${PROJECT_SOURCE_DIR}/package/sample/CMakeLists.txt
                  developers/sample/CMakeLists.txt)
kdll_package_file(${PROJECT_SOURCE_DIR}/docs/trace.md developers/docs/trace.md)

# The two notes, with the version filled in.
foreach(note README:developers/README.txt FLASHING:FLASHING.txt)
    string(REPLACE ":" ";" note ${note})
    list(GET note 0 name)
    list(GET note 1 destination)
    configure_file(${PROJECT_SOURCE_DIR}/package/${name}.txt ${CMAKE_BINARY_DIR}/notes/${name}.txt
                   @ONLY NEWLINE_STYLE CRLF)
    kdll_package_file(${CMAKE_BINARY_DIR}/notes/${name}.txt ${destination})
endforeach()

# Last: the SHA-256 list of every file installed above, in sha256sum's format.
install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    file(GLOB_RECURSE files RELATIVE "${root}" "${root}/*")
    list(REMOVE_ITEM files SHA256SUMS.txt)
    list(SORT files)
    set(sums "")
    foreach(file ${files})
        file(SHA256 "${root}/${file}" sum)
        string(APPEND sums "${sum} *${file}\n")
    endforeach()
    file(WRITE "${root}/SHA256SUMS.txt" "${sums}")
]])
set_property(GLOBAL APPEND PROPERTY KDLL_PACKAGE_FILES SHA256SUMS.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kdll)
set(CPACK_PACKAGE_VENDOR "${KDLL_PRODUCT_NAME} developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${KDLL_PACKAGE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
