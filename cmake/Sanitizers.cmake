# Builds instrumented by clang's sanitizers, and the fuzz targets.
#
#   -DVELLOMIRE_SANITIZERS=address,undefined   AddressSanitizer and UndefinedBehaviorSanitizer
#   -DVELLOMIRE_SANITIZERS=thread              ThreadSanitizer
#   -DVELLOMIRE_FUZZING=ON                     also instrument for libFuzzer and link the fuzz
#                                              targets with it (together with address,undefined)
#
# Each goes in its own build folder configured with clang (scripts/test.sh makes build-asan and
# build-tsan). Everything is instrumented, the JUCE modules included: ASan only checks the accesses
# it instruments, TSan reports false races around synchronisation it cannot see, and libFuzzer
# is steered by the coverage of JUCE's XML parser as much as by ours. Such a build makes only the
# core library and the tests that run under the sanitizers (tests/CMakeLists.txt).

set(VELLOMIRE_SANITIZERS "" CACHE STRING "clang sanitizers to instrument with, comma-separated (empty: none)")
option(VELLOMIRE_FUZZING "Instrument for libFuzzer and link the fuzz targets with it" OFF)

if(VELLOMIRE_FUZZING AND NOT VELLOMIRE_SANITIZERS)
    message(FATAL_ERROR "VELLOMIRE_FUZZING goes with VELLOMIRE_SANITIZERS=address,undefined")
endif()

if(VELLOMIRE_SANITIZERS)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT CMAKE_C_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VELLOMIRE_SANITIZERS needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
    endif()
    # Every finding aborts the program, so it fails its test instead of scrolling past.
    add_compile_options(-fsanitize=${VELLOMIRE_SANITIZERS} -fno-sanitize-recover=all
                        -fno-omit-frame-pointer -gline-tables-only)
    add_link_options(-fsanitize=${VELLOMIRE_SANITIZERS})
    if(VELLOMIRE_FUZZING)
        add_compile_options(-fsanitize=fuzzer-no-link)
    endif()
endif()

# Test names get the build's prefix, and the tests the sanitizer's run-time options.
set(VELLOMIRE_TEST_PREFIX "")
set(VELLOMIRE_SANITIZER_ENVIRONMENT "")
if(VELLOMIRE_SANITIZERS MATCHES "thread")
    set(VELLOMIRE_TEST_PREFIX "tsan.")
    set(VELLOMIRE_SANITIZER_ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
elseif(VELLOMIRE_SANITIZERS)
    set(VELLOMIRE_TEST_PREFIX "asan.")
    set(VELLOMIRE_SANITIZER_ENVIRONMENT "UBSAN_OPTIONS=print_stacktrace=1")
endif()

# A fuzz target is a source file defining LLVMFuzzerTestOneInput. In a fuzzing build it is linked
# with libFuzzer; in every other build with a small main that replays the inputs it is given, so
# the seed corpus and the inputs of past findings run as regression tests everywhere.
function(add_fuzz_target name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LINK})
    target_compile_options(${name} PRIVATE -Wall -Wextra)
    if(VELLOMIRE_FUZZING)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    else()
        target_sources(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp")
    endif()
endfunction()
