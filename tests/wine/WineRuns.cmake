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
# The panel on a screen of 144 pixels per inch: its columns follow, and no key is cut.
add_test(NAME wine_tests_144dpi
         COMMAND ${CMAKE_COMMAND} -E env KDLL_WINE_DPI=144
                 ${WINE_EXEC} n ${WINE_BIN}/wine_tests.exe
                 --gtest_filter=PanelOpenTest.ShowsTheListTheStatusAndTheTitle
                 --gtest_output=xml:${WINE_RESULTS}/wine_tests_144dpi.xml)
set_tests_properties(wine_tests wine_tests_builtin_layer wine_tests_missing_layer
                     wine_tests_win98 wine_tests_144dpi PROPERTIES TIMEOUT 1200)
# The misbehaving hosts again, with Wine checking its heap on every call: a block freed
# under a running transfer, or written after its end, shows as a heap warning.
add_test(NAME wine_tests_lifetime_heap
         COMMAND ${CMAKE_COMMAND} -E env KDLL_WINEDEBUG=-all,warn+heap
                 ${WINE_EXEC} n ${WINE_BIN}/wine_tests.exe --gtest_filter=TransferLifetime*
                 --gtest_output=xml:${WINE_RESULTS}/wine_tests_lifetime_heap.xml)
set_tests_properties(wine_tests_lifetime_heap PROPERTIES TIMEOUT 600
                     FAIL_REGULAR_EXPRESSION "(err|warn):heap")

# The program (as the demo host, which answers its boxes) on the machines a user may have,
# each ending in the program's own exit code: no ASPI layer, and Wine's own stub in place
# of the file (3, no drive); two CD-ROM drives, of which it proposes the RVX-4417K in its
# chooser and flashes it, its trace switched on from the menu (0); the chooser cancelled
# (5); a file for another drive, which the panel refuses without a word (1, nothing
# written); a write that fails (2); and its help.
set(DEMO_RUNS ${CMAKE_BINARY_DIR}/demo-runs)
# The two drives, with a write that lasts long enough for the demo to try closing.
set(two_drives ${CMAKE_SOURCE_DIR}/sim/scenarios/two-drives.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${two_drives})
file(READ ${two_drives} scenario)
file(WRITE ${DEMO_RUNS}/two-drives.txt "${scenario}fault 1 0 write delay 3000\n")
# A write that fails as late.
file(WRITE ${DEMO_RUNS}/write-fails.txt
     "adapters 1\ndevice 0 1 rvx revision 1.00\nfault 0 1 write delay 3000 check 3 0C 00\n")
set(ZQXTOOL ${WINE_EXEC} n ${WINE_BIN}/zqxtool.exe make --force)
add_test(NAME demo_firmware_file COMMAND ${ZQXTOOL} Z:${DEMO_RUNS}/sample.zqx --revision 1.02)
add_test(NAME demo_other_firmware_file
         COMMAND ${ZQXTOOL} Z:${DEMO_RUNS}/other.zqx --product "CD-ROM RVX-4418K")
set_tests_properties(demo_firmware_file demo_other_firmware_file PROPERTIES
                     FIXTURES_SETUP demo_firmware)
set(DEMO_CHECK ${CMAKE_CURRENT_SOURCE_DIR}/wine/check-aspiinfo.sh)
set(scenarios ${CMAKE_SOURCE_DIR}/sim/scenarios)
# demo_run(NAME EXIT TEXT LAYER SCENARIO ARGS...): the demo host's automatic run must
# exit with EXIT and print a line holding TEXT; LAYER n (simulated), b (Wine's stub) or
# d (none); SCENARIO the simulated machine, or - for none.
function(demo_run name status text layer scenario)
    add_test(NAME demo_${name}
             COMMAND ${DEMO_CHECK} ${status} ${text} ${WINE_EXEC} ${layer}
                     ${WINE_BIN}/demo_host.exe --auto ${ARGN})
    set_tests_properties(demo_${name} PROPERTIES FIXTURES_REQUIRED demo_firmware TIMEOUT 300)
    if(NOT scenario STREQUAL "-")
        set_tests_properties(demo_${name} PROPERTIES ENVIRONMENT KDLL_SIM_SCENARIO=${scenario})
    endif()
endfunction()
demo_run(no_layer 3 "No ASPI layer was found" d -)
demo_run(wine_stub 3 "The ASPI layer that Wine loaded is its own built-in stub" b -)
demo_run(two_drives 0 "* 1:0:0  NEMBRIKA CD-ROM RVX-4417K 1.00" n ${DEMO_RUNS}/two-drives.txt
         --menu-trace --firmware Z:${DEMO_RUNS}/sample.zqx)
demo_run(cancelled 5 "cancelling the chooser" n ${DEMO_RUNS}/two-drives.txt --cancel)
demo_run(other_drive_file 1 "status:   \"Reading F/W file...\"" n ${scenarios}/demo.txt
         --drive 0:1:0 --firmware Z:${DEMO_RUNS}/other.zqx)
demo_run(write_fails 2 "Fail to Download, Restart Now!" n ${DEMO_RUNS}/write-fails.txt
         --drive 0:1:0 --firmware Z:${DEMO_RUNS}/sample.zqx)
demo_run(help 0 "5  cancelled: no download was tried" n - --drive /?)
set_tests_properties(demo_firmware_file demo_other_firmware_file PROPERTIES TIMEOUT 300)
