# Source inspection tests load the frame-server module.
add_dependencies(vantaq_source_tests vantaq_framesrv)

# The libavformat inspection's fuzzer (VANTAQ_FUZZ, clang only; built like the pulldown
# fuzzer, see tests/pulldown/extra.cmake), run by the ctest `probe_fuzz` on inputs grown from
# fuzz-seeds/. Each seed is an extension byte (see av_probe_fuzzer.cpp) followed by a short
# ffmpeg file of testsrc2 at 64x48, 3 frames: h264-mp4 (0x00, libx264 ultrafast, faststart),
# h264-mkv (0x01), mpeg2-ts (0x03, mpeg2video) and mpeg2-ps (0x04, mpeg2video, -f vob).
if(VANTAQ_FUZZ)
    set(VANTAQ_PROBE_FUZZ_RUNS 2000 CACHE STRING "Inputs the probe_fuzz test runs")
    add_executable(vantaq_probe_fuzzer ${CMAKE_CURRENT_LIST_DIR}/av_probe_fuzzer.cpp
                   ${CMAKE_SOURCE_DIR}/src/source/av_probe.cpp
                   ${CMAKE_SOURCE_DIR}/src/platform/posix/files.cpp)
    target_include_directories(vantaq_probe_fuzzer PRIVATE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(vantaq_probe_fuzzer PRIVATE PkgConfig::LIBAV Threads::Threads)
    target_compile_options(vantaq_probe_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(vantaq_probe_fuzzer PRIVATE -fsanitize=fuzzer)
    set_target_properties(vantaq_probe_fuzzer PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set(probe_fuzz_dir ${CMAKE_BINARY_DIR}/tests/probe-fuzz)
    add_test(NAME probe_fuzz
             COMMAND sh -c "rm -rf corpus && mkdir -p corpus && exec \"$0\" -seed=1 \
-runs=${VANTAQ_PROBE_FUZZ_RUNS} -max_len=48000 -timeout=10 -artifact_prefix=${probe_fuzz_dir}/ \
corpus \"$1\""
                     $<TARGET_FILE:vantaq_probe_fuzzer> ${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds)
    file(MAKE_DIRECTORY ${probe_fuzz_dir})
    set_tests_properties(probe_fuzz PROPERTIES WORKING_DIRECTORY ${probe_fuzz_dir}
                         LABELS "source;fuzz" TIMEOUT 300)
endif()
