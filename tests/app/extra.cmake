# The window tests build small AVI sources with the media helpers of the source tests.
target_sources(vantaq_app_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../source/media.cpp)
target_include_directories(vantaq_app_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../source)
