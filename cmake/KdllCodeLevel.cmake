# The code level of the Windows builds. The product (i686) and the test build (x86_64)
# are compiled at the same optimisation level, so that the tests run the code as it
# ships, and both with debug information: it changes no instruction, the shipped
# binaries are stripped of it, and their copies in symbols/ keep it for debuggers.
#  - -Os: the library spends its time waiting on the drive, the user and ASPI; nothing of
#    it is bound by the processor (see the benchmarks in docs/testing.md).
#  - Each function and datum in a section of its own, and the linker drops the unused.
#  - No exceptions and no run-time type information: the code uses neither.
#  - i686 build: code for the Pentium (i586), so that the DLL runs on the Pentium, Pentium
#    MMX, K6 and 6x86 machines of the Windows 9x era (cmov and fcomi came with the
#    Pentium Pro); no unwind tables, since nothing unwinds.
set(CMAKE_C_FLAGS_RELEASE "-Os -g -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -g -DNDEBUG")
set(CMAKE_C_FLAGS_RELWITHDEBINFO "-Os -g -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-Os -g -DNDEBUG")
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_compile_options(-march=i586 -fno-asynchronous-unwind-tables)
endif()

# kdll_plain_code(TARGET...): the targets' own code uses no exceptions and no RTTI.
function(kdll_plain_code)
    foreach(target ${ARGN})
        target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
    endforeach()
endfunction()
