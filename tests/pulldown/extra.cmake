# The pulldown tests share a plain reference pass and stream helpers; the fuzzer (VANTAQ_FUZZ,
# clang only) compares the processor with that reference on arbitrary input.
add_library(vantaq_pulldown_reference STATIC
    ${CMAKE_CURRENT_LIST_DIR}/reference_pulldown.cpp)
target_link_libraries(vantaq_pulldown_reference PUBLIC vantaq_core)
target_include_directories(vantaq_pulldown_reference PUBLIC ${CMAKE_CURRENT_LIST_DIR})

if(TARGET vantaq_pulldown_tests)
    target_sources(vantaq_pulldown_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/stream_fixtures.cpp)
    target_link_libraries(vantaq_pulldown_tests PRIVATE vantaq_pulldown_reference)
    # The tool tests run the real program.
    add_dependencies(vantaq_pulldown_tests vantaq-pulldown vantaq-probe)
endif()

# The fuzzer is built by `make test-fuzz` (part of `make test`) in a clang build of its own:
#   cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
#         -DVANTAQ_FUZZ=ON -DVANTAQ_SANITIZE=ON -DVANTAQ_BUILD_GUI=OFF
# and run there by the ctest `pulldown_fuzz` for a fixed number of inputs from the seeds in
# fuzz-seeds/, or by hand for longer: build-fuzz/tests/vantaq_pulldown_fuzzer DIR fuzz-seeds.
# Each seed is an option byte (see pulldown_fuzzer.cpp) followed by a short ffmpeg stream with
# 00 00 01 B7 appended: film-mpeg2-window-options (0x01; testsrc 160x120 at 24000/1001, 1 s,
# mpeg2video -g 6 -bf 2 -b:v 2500k, so longer than one 32,768-byte block), film-mpeg1 (0x00;
# 64x48, 0.5 s, mpeg1video -g 6 -bf 2 -b:v 300k), display-ext-frame-rate-no-rff (0x24; 64x48,
# 0.5 s, mpeg2video -g 4 -bf 1 -seq_disp_ext always with bt709 colours, -b:v 300k).
if(VANTAQ_FUZZ)
    set(VANTAQ_FUZZ_RUNS 2000 CACHE STRING "Inputs the pulldown_fuzz test runs")
    # Only the processor's own files (not the runs, their worker or its picture count): the
    # fuzzer needs nothing else of the core.
    file(GLOB fuzz_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/pulldown/*.cpp)
    list(FILTER fuzz_sources EXCLUDE REGEX
         "(pulldown_runs|pulldown_worker|picture_count|stream_report.*|stream_analysis|dvd_verdict|report_.*)\\.cpp$")
    add_executable(vantaq_pulldown_fuzzer ${CMAKE_CURRENT_LIST_DIR}/pulldown_fuzzer.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/reference_pulldown.cpp ${fuzz_sources})
    target_include_directories(vantaq_pulldown_fuzzer PRIVATE ${CMAKE_SOURCE_DIR}/src
                               ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(vantaq_pulldown_fuzzer PRIVATE Threads::Threads)
    # Coverage feedback from the code under test, not only from the fuzzer itself.
    target_compile_options(vantaq_pulldown_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(vantaq_pulldown_fuzzer PRIVATE -fsanitize=fuzzer)
    set_target_properties(vantaq_pulldown_fuzzer PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # New inputs go to a corpus folder in the build, emptied first so that every run does the
    # same; a failing input is kept there as crash-* or similar.
    set(fuzz_dir ${CMAKE_BINARY_DIR}/tests/pulldown-fuzz)
    add_test(NAME pulldown_fuzz
             COMMAND sh -c "rm -rf corpus && mkdir -p corpus && exec \"$0\" -seed=1 \
-runs=${VANTAQ_FUZZ_RUNS} -max_len=48000 -artifact_prefix=${fuzz_dir}/ corpus \"$1\""
                     $<TARGET_FILE:vantaq_pulldown_fuzzer> ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds)
    file(MAKE_DIRECTORY ${fuzz_dir})
    set_tests_properties(pulldown_fuzz PROPERTIES WORKING_DIRECTORY ${fuzz_dir}
                         LABELS "pulldown;fuzz" TIMEOUT 300)
endif()

# The stream report fuzzer: the header walk, the verdict and the JSON reader on any input, run by
# the ctest `stream_report_fuzz` like the pulldown fuzzer, from the same seeds (their option byte
# is taken as the place to cut the stream in two).
if(VANTAQ_FUZZ)
    set(report_dir ${CMAKE_SOURCE_DIR}/src/pulldown)
    add_executable(vantaq_stream_report_fuzzer ${CMAKE_CURRENT_LIST_DIR}/stream_report_fuzzer.cpp
                   ${report_dir}/start_code_scan.cpp ${report_dir}/stream_report.cpp
                   ${report_dir}/stream_analysis.cpp ${report_dir}/dvd_verdict.cpp
                   ${report_dir}/report_format.cpp ${CMAKE_SOURCE_DIR}/src/platform/posix/files.cpp)
    target_include_directories(vantaq_stream_report_fuzzer PRIVATE ${CMAKE_SOURCE_DIR}/src)
    target_compile_options(vantaq_stream_report_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(vantaq_stream_report_fuzzer PRIVATE -fsanitize=fuzzer)
    set_target_properties(vantaq_stream_report_fuzzer PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set(report_fuzz_dir ${CMAKE_BINARY_DIR}/tests/stream-report-fuzz)
    add_test(NAME stream_report_fuzz
             COMMAND sh -c "rm -rf corpus && mkdir -p corpus && exec \"$0\" -seed=1 \
-runs=${VANTAQ_FUZZ_RUNS} -max_len=48000 -artifact_prefix=${report_fuzz_dir}/ corpus \"$1\""
                     $<TARGET_FILE:vantaq_stream_report_fuzzer> ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds)
    file(MAKE_DIRECTORY ${report_fuzz_dir})
    set_tests_properties(stream_report_fuzz PROPERTIES WORKING_DIRECTORY ${report_fuzz_dir}
                         LABELS "pulldown;fuzz" TIMEOUT 300)
endif()
