# The Wine test program runs four times, each a different machine as the library sees it.
set(WINE_EXEC ${CMAKE_SOURCE_DIR}/scripts/wine-exec.sh)
set(WINE_BIN ${CMAKE_BINARY_DIR}/bin)
# Wine reaches the Linux file system as drive Z:; a bare /path is relative to the drive.
set(WINE_RESULTS Z:${CMAKE_BINARY_DIR}/results)

# A folder with the library but no WNASPI32.dll, and a copy of the program that the
# prefix reports as Windows 98.
add_custom_command(TARGET wine_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin-nolayer
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:wine_tests> ${CMAKE_BINARY_DIR}/bin-nolayer/
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kdll> ${CMAKE_BINARY_DIR}/bin-nolayer/
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:wine_tests> ${WINE_BIN}/wine_tests_win98.exe)

# Windows NT with the simulated layer: everything but the other machines' suites.
add_test(NAME wine_tests
         COMMAND ${WINE_EXEC} n ${WINE_BIN}/wine_tests.exe --gtest_filter=-NoAspiLayer*:Win9x*
                 --gtest_output=xml:${WINE_RESULTS}/wine_tests.xml)
# Wine's own wnaspi32.
add_test(NAME wine_tests_builtin_layer
         COMMAND ${WINE_EXEC} b ${WINE_BIN}/wine_tests.exe --gtest_filter=NoAspiLayer*
                 --gtest_output=xml:${WINE_RESULTS}/wine_tests_builtin_layer.xml)
# No ASPI layer installed at all.
add_test(NAME wine_tests_missing_layer
         COMMAND ${WINE_EXEC} d ${CMAKE_BINARY_DIR}/bin-nolayer/wine_tests.exe
                 --gtest_filter=NoAspiLayer*
                 --gtest_output=xml:${WINE_RESULTS}/wine_tests_missing_layer.xml)
# Windows 98 with the simulated layer.
add_test(NAME wine_tests_win98
         COMMAND ${WINE_EXEC} n ${WINE_BIN}/wine_tests_win98.exe --gtest_filter=Win9x*
                 --gtest_output=xml:${WINE_RESULTS}/wine_tests_win98.xml)
set_tests_properties(wine_tests wine_tests_builtin_layer wine_tests_missing_layer
                     wine_tests_win98 PROPERTIES TIMEOUT 1200)
# The misbehaving hosts again, with Wine checking its heap on every call: a block freed
# under a running transfer, or written after its end, shows as a heap warning.
add_test(NAME wine_tests_lifetime_heap
         COMMAND ${CMAKE_COMMAND} -E env KDLL_WINEDEBUG=-all,warn+heap
                 ${WINE_EXEC} n ${WINE_BIN}/wine_tests.exe --gtest_filter=TransferLifetime*
                 --gtest_output=xml:${WINE_RESULTS}/wine_tests_lifetime_heap.xml)
set_tests_properties(wine_tests_lifetime_heap PROPERTIES TIMEOUT 600
                     FAIL_REGULAR_EXPRESSION "(err|warn):heap")
