# kdll_ship(TARGET CPU [FOLDER]): TARGET's binary ships in the package, at its top (the end
# user's folder) or in FOLDER. One such line stands beside each shipped target (src/,
# spti/, flasher/, tools/); cmake/KdllPackage.cmake makes the package of them. CPU is the
# processor the binary needs: i586 (any Pentium; the artifact check allows no newer
# instruction) or i686 (a Pentium Pro or later, as README.md says). The artifact checks
# (imports, processor, version resource, package contents) cover every binary shipped so.
#
# The i686 build ships every such binary. There each is linked with its symbols, copied so
# into symbols/ (for reading crash addresses, for the artifact checks, and for the
# package's developers/symbols/x86/) and then stripped in place: bin/ holds the binaries
# exactly as they ship. A library (kdll.dll, WNASPI32.dll) also goes to the host
# developers' developers/bin/x86/.
#
# The x86_64 build ships only its libraries, for 64-bit hosts: a stripped copy in ship/
# and the binary with its symbols in symbols/; bin/ keeps the symbols for the tests.
# cmake/KdllPackage.cmake of the i686 build takes them from there.
function(kdll_ship target cpu)
    if(NOT WIN32)
        return()
    endif()
    get_target_property(type ${target} TYPE)
    set(name $<TARGET_FILE_NAME:${target}>)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        if(type STREQUAL "SHARED_LIBRARY")
            add_custom_command(TARGET ${target} POST_BUILD
                COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/symbols
                        ${CMAKE_BINARY_DIR}/ship
                COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${CMAKE_BINARY_DIR}/symbols/
                COMMAND ${CMAKE_STRIP} --strip-all -o ${CMAKE_BINARY_DIR}/ship/${name}
                        $<TARGET_FILE:${target}>
                VERBATIM)
            set_property(GLOBAL APPEND PROPERTY KDLL_SHIPPED_FILES ${CMAKE_BINARY_DIR}/ship/${name})
        endif()
        return()
    endif()
    set(folder .)
    if(ARGC GREATER 2)
        set(folder ${ARGV2})
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/symbols
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${CMAKE_BINARY_DIR}/symbols/
        COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
        VERBATIM)
    install(FILES $<TARGET_FILE:${target}> DESTINATION ${folder})
    install(FILES ${CMAKE_BINARY_DIR}/symbols/${name} DESTINATION developers/symbols/x86)
    set_property(GLOBAL APPEND PROPERTY KDLL_SHIPPED_FILES $<TARGET_FILE:${target}>)
    set_property(GLOBAL APPEND PROPERTY KDLL_SHIPPED_CPU $<TARGET_FILE:${target}>=${cpu})
    set(files developers/symbols/x86/${name})
    if(folder STREQUAL ".")
        list(APPEND files ${name})
    else()
        list(APPEND files ${folder}/${name})
    endif()
    if(type STREQUAL "SHARED_LIBRARY")
        install(FILES $<TARGET_FILE:${target}> DESTINATION developers/bin/x86)
        list(APPEND files developers/bin/x86/${name})
    endif()
    set_property(GLOBAL APPEND PROPERTY KDLL_PACKAGE_FILES ${files})
endfunction()

# kdll_package_file(SOURCE DESTINATION): a file other than a binary of this build,
# DESTINATION being its path in the package.
function(kdll_package_file source destination)
    get_filename_component(folder ${destination} DIRECTORY)
    get_filename_component(name ${destination} NAME)
    if(folder STREQUAL "")
        set(folder .)
    endif()
    install(FILES ${source} DESTINATION ${folder} RENAME ${name})
    set_property(GLOBAL APPEND PROPERTY KDLL_PACKAGE_FILES ${destination})
endfunction()
