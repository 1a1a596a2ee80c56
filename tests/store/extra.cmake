# The store tests also run the vantaq-reg program.
add_dependencies(vantaq_store_tests vantaq-reg)

# Fuzz targets (cmake/Fuzz.cmake).
vantaq_add_fuzzer(reg_file SOURCES reg_file_fuzzer.cpp
    SEEDS fuzz-seeds/reg_file)
