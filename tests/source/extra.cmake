# Source inspection tests: the media helpers, and the frame-server module they load.
target_sources(vantaq_source_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/media.cpp)
add_dependencies(vantaq_source_tests vantaq_framesrv)
