# Fuzz targets (cmake/Fuzz.cmake).
vantaq_add_fuzzer(chapter_list SOURCES chapter_list_fuzzer.cpp
    SEEDS fuzz-seeds/chapter_list)
