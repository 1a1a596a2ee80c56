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

# The fuzzer compares the processor with the reference on arbitrary input (cmake/Fuzz.cmake).
# Each seed in fuzz-seeds/ is an option byte (see pulldown_fuzzer.cpp) followed by a short ffmpeg
# stream with 00 00 01 B7 appended: film-mpeg2-window-options (0x01; testsrc 160x120 at
# 24000/1001, 1 s, mpeg2video -g 6 -bf 2 -b:v 2500k, so longer than one 32,768-byte block),
# film-mpeg1 (0x00; 64x48, 0.5 s, mpeg1video -g 6 -bf 2 -b:v 300k), display-ext-frame-rate-no-rff
# (0x24; 64x48, 0.5 s, mpeg2video -g 4 -bf 1 -seq_disp_ext always with bt709 colours, -b:v 300k),
# picture-start-code-flood (0x07; a 720x480 sequence header, 10,000 bare picture start codes and
# the end code, written by hand).
vantaq_add_fuzzer(pulldown SOURCES pulldown_fuzzer.cpp
    LIBRARIES vantaq_pulldown_reference SEEDS fuzz-seeds
    MAX_LEN 48000 RUNS 2000)

# The stream report's fuzzer: the header walk, the verdict and the JSON reader on any input,
# from the same seeds (their option byte is taken as the place to cut the stream in two).
vantaq_add_fuzzer(stream_report SOURCES stream_report_fuzzer.cpp SEEDS fuzz-seeds
    MAX_LEN 48000 RUNS 2000)
