# The run tests share a fixture with a scripted runner.
target_sources(vantaq_queue_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/run_fixture.cpp)
