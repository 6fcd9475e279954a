# The Wine test program runs four times, each a different machine as the library sees it;
# the program runs on the machines of its users (at the end).
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

# The program (as the demo host, which answers its boxes) on the machines a user may have:
# no ASPI layer, Wine's own stub in place of the file, and two CD-ROM drives, of which it
# proposes the RVX-4417K in its chooser and flashes it, its trace switched on from the menu.
set(DEMO_RUNS ${CMAKE_BINARY_DIR}/demo-runs)
# The two drives, with a write that lasts long enough for the demo to try closing.
set(two_drives ${CMAKE_SOURCE_DIR}/sim/scenarios/two-drives.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${two_drives})
file(READ ${two_drives} scenario)
file(WRITE ${DEMO_RUNS}/two-drives.txt "${scenario}fault 1 0 write delay 3000\n")
add_test(NAME demo_firmware_file
         COMMAND ${WINE_EXEC} n ${WINE_BIN}/zqxtool.exe make Z:${DEMO_RUNS}/sample.zqx
                 --revision 1.02 --force)
set_tests_properties(demo_firmware_file PROPERTIES FIXTURES_SETUP demo_firmware)
set(DEMO_CHECK ${CMAKE_CURRENT_SOURCE_DIR}/wine/check-aspiinfo.sh)
add_test(NAME demo_no_layer
         COMMAND ${DEMO_CHECK} 1 "No ASPI layer was found" ${WINE_EXEC} d
                 ${WINE_BIN}/demo_host.exe --auto)
add_test(NAME demo_wine_stub
         COMMAND ${DEMO_CHECK} 1 "The ASPI layer that Wine loaded is its own built-in stub" ${WINE_EXEC} b
                 ${WINE_BIN}/demo_host.exe --auto)
add_test(NAME demo_two_drives
         COMMAND ${DEMO_CHECK} 0 "* 1:0:0  NEMBRIKA CD-ROM RVX-4417K 1.00" ${WINE_EXEC} n
                 ${WINE_BIN}/demo_host.exe --auto --menu-trace
                 --firmware Z:${DEMO_RUNS}/sample.zqx)
set_tests_properties(demo_two_drives PROPERTIES FIXTURES_REQUIRED demo_firmware ENVIRONMENT
                     KDLL_SIM_SCENARIO=${DEMO_RUNS}/two-drives.txt)
set_tests_properties(demo_firmware_file demo_no_layer demo_wine_stub demo_two_drives
                     PROPERTIES TIMEOUT 300)
