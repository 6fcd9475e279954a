# Our WNASPI32.dll (spti/) under Wine. The in-process tests load two copies of it under
# names of their own, apart from the simulated wnaspi32.dll beside the test program:
# sptilayer.dll, whose Windows imports the tests replace, and sptiplain.dll, which meets
# Wine's own drives.
# The lister is copied beside the simulated layer too.
add_custom_command(OUTPUT ${WINE_BIN}/sptilayer.dll ${WINE_BIN}/sptiplain.dll
                          ${WINE_BIN}/aspiinfo.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:spti_layer> ${WINE_BIN}/sptilayer.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:spti_layer> ${WINE_BIN}/sptiplain.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:aspiinfo> ${WINE_BIN}/aspiinfo.exe
    DEPENDS spti_layer aspiinfo)
add_custom_target(spti_test_copies ALL
    DEPENDS ${WINE_BIN}/sptilayer.dll ${WINE_BIN}/sptiplain.dll ${WINE_BIN}/aspiinfo.exe)
add_dependencies(wine_tests spti_test_copies)

# The drive lister as a user runs it: on the simulated layer with the demo machine, on our
# layer in the plain prefix (its CD-ROM letters are folders, no drive answers), on Wine's
# own stub, and with a bad argument.
set(ASPIINFO_CHECK ${CMAKE_CURRENT_SOURCE_DIR}/wine/check-aspiinfo.sh)
add_test(NAME aspiinfo_simulated_layer
         COMMAND ${ASPIINFO_CHECK} 0 "0:1:0  CD-ROM  --  \"NEMBRIKA\" \"CD-ROM RVX-4417K\" \"1.00\""
                 ${WINE_EXEC} n ${WINE_BIN}/aspiinfo.exe)
set_tests_properties(aspiinfo_simulated_layer PROPERTIES
                     ENVIRONMENT KDLL_SIM_SCENARIO=${CMAKE_SOURCE_DIR}/sim/scenarios/demo.txt)
add_test(NAME aspiinfo_plain_wine
         COMMAND ${ASPIINFO_CHECK} 1 "0 CD-ROM drives answered"
                 ${WINE_EXEC} n $<TARGET_FILE:aspiinfo>)
# A layer that cannot start, said in words.
file(WRITE ${CMAKE_BINARY_DIR}/layer-fails.txt "adapters 1\nsupport-status 0xE4\n")
add_test(NAME aspiinfo_layer_fails
         COMMAND ${ASPIINFO_CHECK} 1 "the layer cannot be used: the ASPI layer could not start"
                 ${WINE_EXEC} n ${WINE_BIN}/aspiinfo.exe)
set_tests_properties(aspiinfo_layer_fails PROPERTIES
                     ENVIRONMENT KDLL_SIM_SCENARIO=${CMAKE_BINARY_DIR}/layer-fails.txt)
# Wine's own wnaspi32 loaded in place of the file: said as such.
add_test(NAME aspiinfo_wine_stub
         COMMAND ${ASPIINFO_CHECK} 1 "Wine loaded its own built-in wnaspi32 stub in place of that file"
                 ${WINE_EXEC} b $<TARGET_FILE:aspiinfo>)
add_test(NAME aspiinfo_bad_argument
         COMMAND ${ASPIINFO_CHECK} 2 "usage: aspiinfo" ${WINE_EXEC} n $<TARGET_FILE:aspiinfo> --bogus)
set_tests_properties(aspiinfo_simulated_layer aspiinfo_layer_fails aspiinfo_plain_wine
                     aspiinfo_wine_stub aspiinfo_bad_argument PROPERTIES TIMEOUT 300)
