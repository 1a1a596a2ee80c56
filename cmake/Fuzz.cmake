# libFuzzer targets of the parsers of outside input, built where VANTAQ_FUZZ is on (clang, in the
# sanitizer build of `make test`) and nowhere else.
#
#   vantaq_add_fuzzer(NAME SOURCES file.cpp... SEEDS dir [LIBRARIES lib...] [MAX_LEN bytes]
#                     [RUNS inputs])
#
# makes the program tests/vantaq_NAME_fuzzer (its LLVMFuzzerTestOneInput in SOURCES, linked with
# the core and LIBRARIES; relative paths are taken from the calling file's folder) and the ctest `fuzz_NAME` (label fuzz), which runs it on RUNS inputs
# (VANTAQ_FUZZ_RUNS unless given) grown from the committed seeds in SEEDS with a fixed random
# seed, so every run tries the same inputs. A failing input is left in build/tests/fuzz/NAME/ as
# crash-*, leak-*, timeout-* or oom-*; add it to SEEDS once it is fixed. `make fuzz-long` runs
# every fuzzer for FUZZ_SECONDS each (scripts/run-fuzzer.sh).
set(VANTAQ_FUZZ_RUNS 3000 CACHE STRING "Inputs each fuzz_* test runs")

if(VANTAQ_FUZZ)
    # Every file of the build reports coverage to the fuzzers (without linking libFuzzer into
    # the other programs: the sanitizer runtime answers the coverage calls there).
    add_compile_options(-fsanitize=fuzzer-no-link)
    file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/tests/fuzz/list)
endif()

function(vantaq_add_fuzzer name)
    if(NOT VANTAQ_FUZZ)
        return()
    endif()
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "SEEDS;MAX_LEN;RUNS" "SOURCES;LIBRARIES")
    if(NOT arg_SOURCES OR NOT arg_SEEDS)
        message(FATAL_ERROR "vantaq_add_fuzzer(${name}): SOURCES and SEEDS are required")
    endif()
    # Relative paths are taken from the folder of the file that calls this.
    set(sources)
    foreach(source IN LISTS arg_SOURCES)
        get_filename_component(source ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_LIST_DIR})
        list(APPEND sources ${source})
    endforeach()
    get_filename_component(arg_SEEDS ${arg_SEEDS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_LIST_DIR})
    if(NOT IS_DIRECTORY ${arg_SEEDS})
        message(FATAL_ERROR "vantaq_add_fuzzer(${name}): no seed folder ${arg_SEEDS}")
    endif()
    if(NOT arg_MAX_LEN)
        set(arg_MAX_LEN 4096)
    endif()
    if(NOT arg_RUNS)
        set(arg_RUNS ${VANTAQ_FUZZ_RUNS})
    endif()
    set(target vantaq_${name}_fuzzer)
    add_executable(${target} ${sources})
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(${target} PRIVATE vantaq_core ${arg_LIBRARIES})
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

    set(work ${CMAKE_BINARY_DIR}/tests/fuzz/${name})
    set(call ${CMAKE_SOURCE_DIR}/scripts/run-fuzzer.sh $<TARGET_FILE:${target}> ${arg_SEEDS}
             ${work} ${arg_MAX_LEN})
    add_test(NAME fuzz_${name} COMMAND ${call})
    set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT 600
                         ENVIRONMENT "FUZZ_RUNS=${arg_RUNS}")
    # The same call for `make fuzz-long`, one file per fuzzer.
    list(JOIN call " " line)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/tests/fuzz/list/${name} CONTENT "${line}\n")
endfunction()
