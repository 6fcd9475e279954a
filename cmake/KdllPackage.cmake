# The package of the i686 build: a zip for Windows made by install() and CPack, for host
# developers (the DLL, its header, .def and import library, the sample host's source) and
# for end users (the program to flash with, how to flash safely, the trace's lines).
# scripts/package.sh builds it into dist/.
#
# The binaries come from the kdll_ship() lines beside their targets (cmake/KdllShip.cmake).

set(KDLL_PACKAGE_NAME kdll-${PROJECT_VERSION}-win32)

# What a host developer builds against.
kdll_package_file(${PROJECT_SOURCE_DIR}/include/kdll.h include/kdll.h)
kdll_package_file(${PROJECT_SOURCE_DIR}/src/host/kdll.def lib/kdll.def)
kdll_package_file($<TARGET_LINKER_FILE:kdll> lib/libkdll.dll.a)

# rvxflash's window code, its manifest and the one call it makes besides kdll.h, with an
# answer to that call from the command line: the sample host.
foreach(file FlashHost.c FlashHost.rc FlashHost.manifest DriveChoice.h DriveByAddress.c)
    kdll_package_file(${PROJECT_SOURCE_DIR}/flasher/${file} sample/${file})
endforeach()
kdll_package_file(${PROJECT_SOURCE_DIR}/docs/trace.md docs/trace.md)

# The two notes, with the version filled in.
foreach(note README FLASHING)
    configure_file(${PROJECT_SOURCE_DIR}/package/${note}.txt ${CMAKE_BINARY_DIR}/notes/${note}.txt
                   @ONLY NEWLINE_STYLE CRLF)
    kdll_package_file(${CMAKE_BINARY_DIR}/notes/${note}.txt ${note}.txt)
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
