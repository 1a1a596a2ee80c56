# The second process of the job store's crash and concurrency tests.
add_executable(vantaq_store_writer ${CMAKE_CURRENT_LIST_DIR}/store_writer_main.cpp)
target_link_libraries(vantaq_store_writer PRIVATE vantaq_core)
set_target_properties(vantaq_store_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(vantaq_jobs_tests vantaq_store_writer)
