# kdll_ship(TARGET CPU): TARGET's binary ships at the top of the package. One such line
# stands beside each shipped target (src/, demo/, tools/); cmake/KdllPackage.cmake makes
# the package of them. CPU is the processor the binary needs: i586 (any Pentium; the
# artifact check allows no newer instruction) or i686 (a Pentium Pro or later, as
# README.md says). The artifact checks (imports, processor, version resource, package
# contents) cover every binary shipped so.
#
# Only the i686 build ships. There each shipped binary is linked with its symbols,
# copied so into symbols/ (for reading crash addresses, and for the artifact checks) and
# then stripped in place: bin/ holds the binaries exactly as they ship.
function(kdll_ship target cpu)
    if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/symbols
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${CMAKE_BINARY_DIR}/symbols/
        COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
        VERBATIM)
    install(FILES $<TARGET_FILE:${target}> DESTINATION .)
    set_property(GLOBAL APPEND PROPERTY KDLL_SHIPPED_FILES $<TARGET_FILE:${target}>)
    set_property(GLOBAL APPEND PROPERTY KDLL_SHIPPED_CPU $<TARGET_FILE:${target}>=${cpu})
    set_property(GLOBAL APPEND PROPERTY KDLL_PACKAGE_FILES $<TARGET_FILE_NAME:${target}>)
endfunction()

# kdll_package_file(SOURCE DESTINATION): a file other than a binary, DESTINATION being
# its path in the package.
function(kdll_package_file source destination)
    get_filename_component(folder ${destination} DIRECTORY)
    get_filename_component(name ${destination} NAME)
    if(folder STREQUAL "")
        set(folder .)
    endif()
    install(FILES ${source} DESTINATION ${folder} RENAME ${name})
    set_property(GLOBAL APPEND PROPERTY KDLL_PACKAGE_FILES ${destination})
endfunction()
