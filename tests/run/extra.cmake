# The child program that the process runner's tests start.
add_executable(vantaq_child_helper ${CMAKE_CURRENT_LIST_DIR}/child_helper.cpp)
set_target_properties(vantaq_child_helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(vantaq_run_tests vantaq_child_helper)
