# The import libraries of kdll.dll that host developers link, in lib/ of each Windows
# build (i686: x86, x86_64: x64): libkdll.dll.a, the one the MinGW linker made, and
# kdll.lib for Microsoft's linker (link.exe, lld-link), which llvm-dlltool makes from
# kdll.def. cmake/KdllPackage.cmake puts both builds' into the package.
find_program(KDLL_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(machine i386:x86-64)
else()
    set(machine i386)
endif()
set(def ${PROJECT_SOURCE_DIR}/src/host/kdll.def)
set(lib ${CMAKE_BINARY_DIR}/lib)
add_custom_command(OUTPUT ${lib}/kdll.lib
    COMMAND ${CMAKE_COMMAND} -E make_directory ${lib}
    COMMAND ${KDLL_DLLTOOL} -m ${machine} -d ${def} -l ${lib}/kdll.lib -D kdll.dll
    DEPENDS ${def}
    VERBATIM)
add_custom_command(OUTPUT ${lib}/libkdll.dll.a
    COMMAND ${CMAKE_COMMAND} -E make_directory ${lib}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_LINKER_FILE:kdll> ${lib}/libkdll.dll.a
    DEPENDS kdll
    VERBATIM)
add_custom_target(kdll_import_libraries ALL DEPENDS ${lib}/kdll.lib ${lib}/libkdll.dll.a)
