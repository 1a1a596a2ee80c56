# Fuzz targets (cmake/Fuzz.cmake): the keyword hand-over's request bytes.
vantaq_add_fuzzer(keyword_request SOURCES keyword_request_fuzzer.cpp
    SEEDS fuzz-seeds/keyword_request MAX_LEN 512)
