# The i686 test build: the programs run in the emulated i386 machine (scripts/i686-vm.sh),
# with 32-bit Wine. Wherever they load kdll.dll it is the product's file exactly as it
# ships (KDLL_PRODUCT_DLL), not one built here; the classes that the Wine test program
# links directly are built here, for i686.
#
# Each run has a job folder of its own, vm-jobs/NAME/, which becomes the guest's /job:
# the program (named NAME.exe), the product kdll.dll and, for layer n, the simulated
# wnaspi32.dll. What the run writes into /job/results comes back into results/.
set(KDLL_PRODUCT_DLL "" CACHE FILEPATH
    "The product kdll.dll that the i686 programs load in the emulated machine")
if(NOT KDLL_PRODUCT_DLL)
    message(FATAL_ERROR "KDLL_PRODUCT_DLL names no file: set it to the product kdll.dll")
endif()
set(VM_RUN ${CMAKE_SOURCE_DIR}/scripts/i686-vm.sh run)
set(VM_JOBS ${CMAKE_BINARY_DIR}/vm-jobs)
set(VM_RESULTS ${CMAKE_BINARY_DIR}/results)
# Bounds of one run: the program inside the guest, and the whole test with booting.
set(VM_PROGRAM_TIMEOUT 1500)
set(VM_TEST_TIMEOUT 1800)

# kdll_vm_job(NAME FILE...): the job folder vm-jobs/NAME with the product kdll.dll and the
# files named (target files may be given as generator expressions), made anew each build.
function(kdll_vm_job name)
    set(folder ${VM_JOBS}/${name})
    add_custom_target(vm_job_${name} ALL
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${folder}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E copy ${KDLL_PRODUCT_DLL} ${folder}/kdll.dll
        COMMAND ${CMAKE_COMMAND} -E copy ${ARGN} ${folder}/
        VERBATIM)
endfunction()

# Our WNASPI32.dll (spti/) under the two names its in-process tests load it by (see
# SptiRuns.cmake).
set(VM_SPTI ${CMAKE_BINARY_DIR}/spti-copies)
add_custom_command(OUTPUT ${VM_SPTI}/sptilayer.dll ${VM_SPTI}/sptiplain.dll
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VM_SPTI}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:spti_layer> ${VM_SPTI}/sptilayer.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:spti_layer> ${VM_SPTI}/sptiplain.dll
    DEPENDS spti_layer)
add_custom_target(vm_spti_copies DEPENDS ${VM_SPTI}/sptilayer.dll ${VM_SPTI}/sptiplain.dll)

# kdll_vm_gtest(NAME TARGET LAYER ARGS...): one run of the GoogleTest program TARGET in
# the guest as NAME.exe, with the WNASPI32.dll that LAYER chooses (see wine-exec.sh), its
# cases counted from results/NAME.xml. With the simulated layer, our own layer's test
# copies go beside it.
function(kdll_vm_gtest name target layer)
    set(files $<TARGET_FILE:${target}>)
    if(layer STREQUAL "n")
        list(APPEND files $<TARGET_FILE:wnaspi32> ${VM_SPTI}/sptilayer.dll
             ${VM_SPTI}/sptiplain.dll)
    endif()
    kdll_vm_job(${name} ${files})
    add_dependencies(vm_job_${name} ${target} wnaspi32 vm_spti_copies)
    add_custom_command(TARGET vm_job_${name} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E rename ${VM_JOBS}/${name}/$<TARGET_FILE_NAME:${target}>
                ${VM_JOBS}/${name}/${name}.exe)
    add_test(NAME ${name}
             COMMAND ${VM_RUN} --timeout ${VM_PROGRAM_TIMEOUT} --results ${VM_RESULTS}
                     ${VM_JOBS}/${name} wine-exec.sh ${layer} ${name}.exe ${ARGN}
                     --gtest_output=xml:Z:/job/results/${name}.xml)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${VM_TEST_TIMEOUT})
endfunction()

# The Wine test program as under WineRuns.cmake: Windows NT with the simulated layer,
# Wine's own wnaspi32, no ASPI layer at all, and Windows 98 (the prefix reports
# wine_tests_win98.exe as such). The first run is split in two of about the same length,
# which ctest runs side by side: the resource tests open the panel a hundred times, and
# every window operation costs some twenty times more in the emulated machine.
kdll_vm_gtest(wine_tests_resources wine_tests n --gtest_filter=PanelResourceTest.*)
kdll_vm_gtest(wine_tests wine_tests n --gtest_filter=-NoAspiLayer*:Win9x*:PanelResourceTest.*)
kdll_vm_gtest(wine_tests_builtin_layer wine_tests b --gtest_filter=NoAspiLayer*)
kdll_vm_gtest(wine_tests_missing_layer wine_tests d --gtest_filter=NoAspiLayer*)
kdll_vm_gtest(wine_tests_win98 wine_tests n --gtest_filter=Win9x*)
set_tests_properties(wine_tests_resources wine_tests PROPERTIES COST 10)

# The demo host's download without a user, on the demo's scenario (vm/job/demo-download.sh).
kdll_vm_job(demo_download $<TARGET_FILE:demo_host> $<TARGET_FILE:zqxtool>
            $<TARGET_FILE:wnaspi32> ${CMAKE_SOURCE_DIR}/sim/scenarios/demo.txt)
add_dependencies(vm_job_demo_download demo_host zqxtool wnaspi32)
add_test(NAME demo_download
         COMMAND ${VM_RUN} --timeout ${VM_PROGRAM_TIMEOUT} --results ${VM_RESULTS}/demo_download
                 ${VM_JOBS}/demo_download demo-download.sh demo.txt)
set_tests_properties(demo_download PROPERTIES TIMEOUT ${VM_TEST_TIMEOUT})

# The shipped binaries over a real SCSI stack in the guest (vm/job/real-stack.sh): Wine's
# pass-through into Linux, the SCSI target's loopback fabric and user-space backend, and
# the drive server of the guest build answering from the drive model.
# check-real-stack.py runs the guest and then judges the five runs from their results.
set(KDLL_DRIVE_SERVER "" CACHE FILEPATH "The drive server of the guest build (i686 Linux)")
if(NOT KDLL_DRIVE_SERVER)
    message(FATAL_ERROR "KDLL_DRIVE_SERVER names no file: build guest and set it")
endif()
get_filename_component(VM_PRODUCT_BIN ${KDLL_PRODUCT_DLL} DIRECTORY)
kdll_vm_job(real_stack ${VM_PRODUCT_BIN}/demo_host.exe ${VM_PRODUCT_BIN}/zqxtool.exe
            ${VM_PRODUCT_BIN}/spti/WNASPI32.dll ${VM_PRODUCT_BIN}/spti/aspiinfo.exe
            ${KDLL_DRIVE_SERVER} ${CMAKE_SOURCE_DIR}/sim/scenarios/demo.txt
            ${CMAKE_SOURCE_DIR}/sim/scenarios/write-fails.txt
            ${CMAKE_SOURCE_DIR}/sim/scenarios/no-answer.txt
            ${CMAKE_SOURCE_DIR}/sim/scenarios/probe-no-answer.txt)
add_test(NAME real_stack
         COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/wine/check-real-stack.py
                 ${VM_RESULTS}/real_stack ${VM_RUN} --timeout ${VM_PROGRAM_TIMEOUT}
                 --results ${VM_RESULTS}/real_stack ${VM_JOBS}/real_stack real-stack.sh)
set_tests_properties(real_stack PROPERTIES TIMEOUT ${VM_TEST_TIMEOUT} COST 5)

# rvxflash for Linux on the same stack, without Wine (vm/job/linux-flash.sh, judged by
# check-linux-flash.py): the guest build's i686 program and firmware file tool.
set(KDLL_GUEST_BUILD "" CACHE PATH "The guest build (i686 Linux): rvxflash and zqxtool")
if(NOT KDLL_GUEST_BUILD)
    message(FATAL_ERROR "KDLL_GUEST_BUILD names no folder: build guest and set it")
endif()
kdll_vm_job(linux_flash ${KDLL_GUEST_BUILD}/linuxflash/rvxflash ${KDLL_GUEST_BUILD}/tools/zqxtool
            ${KDLL_DRIVE_SERVER} ${CMAKE_SOURCE_DIR}/sim/scenarios/demo.txt
            ${CMAKE_SOURCE_DIR}/sim/scenarios/write-fails.txt
            ${CMAKE_SOURCE_DIR}/sim/scenarios/no-answer.txt)
# Debian's own interpreter: its python3-jsonschema (scripts/setup.sh) checks the documents.
add_test(NAME linux_flash
         COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/wine/check-linux-flash.py
                 ${CMAKE_SOURCE_DIR}/docs/rvxflash.schema.json
                 ${VM_RESULTS}/linux_flash ${VM_RUN} --timeout ${VM_PROGRAM_TIMEOUT}
                 --results ${VM_RESULTS}/linux_flash ${VM_JOBS}/linux_flash linux-flash.sh)
set_tests_properties(linux_flash PROPERTIES TIMEOUT ${VM_TEST_TIMEOUT} COST 3)
