# The child program that the process runner's tests start.
add_executable(vantaq_child_helper ${CMAKE_CURRENT_LIST_DIR}/child_helper.cpp)
set_target_properties(vantaq_child_helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(vantaq_run_tests vantaq_child_helper)

# Fuzz targets (cmake/Fuzz.cmake).
vantaq_add_fuzzer(cce_data SOURCES cce_data_fuzzer.cpp
    SEEDS fuzz-seeds/cce_data)
vantaq_add_fuzzer(progress_line SOURCES progress_line_fuzzer.cpp
    SEEDS fuzz-seeds/progress_line MAX_LEN 64)
