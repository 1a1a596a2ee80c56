# The env tests write PE and ELF files with the helpers below, and carry a version block of their
# own so that reading the running program can be tested.
target_sources(vantaq_env_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/version_files.cpp)
vantaq_version_resource(TARGET vantaq_env_tests
    PRODUCT_NAME "Vantaq env tests"
    PRODUCT_VERSION "0.1.0.0"
    FILE_VERSION "0, 1, 0, 7"
    FILE_DESCRIPTION "Tests of the environment checks")

# Fuzz targets (cmake/Fuzz.cmake).
vantaq_add_fuzzer(profile_file SOURCES profile_file_fuzzer.cpp
    SEEDS fuzz-seeds/profile_file)
