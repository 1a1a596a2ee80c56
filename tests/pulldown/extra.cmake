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
    add_dependencies(vantaq_pulldown_tests vantaq-pulldown)
endif()

# Configure with clang, e.g.: cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++
#   -DCMAKE_C_COMPILER=clang -DVANTAQ_FUZZ=ON -DVANTAQ_SANITIZE=ON -DVANTAQ_BUILD_GUI=OFF
# then run build-fuzz/tests/vantaq_pulldown_fuzzer CORPUS_DIR.
if(VANTAQ_FUZZ)
    # Coverage feedback from the code under test, not only from the fuzzer itself.
    target_compile_options(vantaq_core PRIVATE -fsanitize=fuzzer-no-link)
    target_compile_options(vantaq_pulldown_reference PRIVATE -fsanitize=fuzzer-no-link)
    add_executable(vantaq_pulldown_fuzzer ${CMAKE_CURRENT_LIST_DIR}/pulldown_fuzzer.cpp)
    target_compile_options(vantaq_pulldown_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(vantaq_pulldown_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(vantaq_pulldown_fuzzer PRIVATE vantaq_pulldown_reference)
    set_target_properties(vantaq_pulldown_fuzzer PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
endif()
