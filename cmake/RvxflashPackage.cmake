# The packages of rvxflash for Linux, made by install() and CPack: a tar.gz and a .deb
# for the build's architecture (x86_64 in the linux build, i686 in the guest build), each
# with the statically linked program, its man page and the schema of its JSON document. scripts/package.sh makes them
# into dist/.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(RVXFLASH_ARCH x86_64)
    set(RVXFLASH_DEB_ARCH amd64)
else()
    set(RVXFLASH_ARCH i686)
    set(RVXFLASH_DEB_ARCH i386)
endif()

find_program(GZIP gzip REQUIRED)
set(RVXFLASH_MAN ${CMAKE_CURRENT_BINARY_DIR}/rvxflash.1.gz)
add_custom_command(OUTPUT ${RVXFLASH_MAN}
    COMMAND ${GZIP} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/rvxflash.1 > ${RVXFLASH_MAN}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/rvxflash.1
    VERBATIM)
add_custom_target(rvxflash_man ALL DEPENDS ${RVXFLASH_MAN})

install(TARGETS rvxflash DESTINATION bin)
install(FILES ${RVXFLASH_MAN} DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/docs/rvxflash.schema.json DESTINATION share/doc/rvxflash)

set(CPACK_GENERATOR TGZ DEB)
set(CPACK_PACKAGE_NAME rvxflash)
set(CPACK_PACKAGE_VENDOR "${KDLL_PRODUCT_NAME} developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flashes the firmware of the RVX-4417K drive over SG_IO")
set(CPACK_PACKAGE_FILE_NAME rvxflash-${PROJECT_VERSION}-linux-${RVXFLASH_ARCH})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${RVXFLASH_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KDLL_PRODUCT_NAME} developers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "flashes the firmware of the RVX-4417K drive over SG_IO\n rvxflash writes a *.ZQX firmware file into an RVX-4417K CD-ROM drive with the\n checks, steps and texts of the Windows downloader. Statically linked.")
# The .deb installs under /usr; the tar.gz keeps bin/ and share/ at its top.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/RvxflashCPackPrefix.cmake)
include(CPack)
