# The cluster tests: the cluster run on a real one-node Slurm cluster that a ctest fixture
# starts (in a short folder under /tmp, on a free port) and always stops. The tests share the
# cluster's two CPUs, so they run one at a time.
set(VANTAQ_SLURM_STATE ${CMAKE_BINARY_DIR}/tests/slurm-cluster.state)
add_executable(vantaq_cluster_tests ${CMAKE_CURRENT_LIST_DIR}/cluster_tests.cpp)
target_link_libraries(vantaq_cluster_tests PRIVATE vantaq_test_support GTest::gtest_main)
target_compile_definitions(vantaq_cluster_tests PRIVATE
    VANTAQ_SLURM_STATE="${VANTAQ_SLURM_STATE}")
set_target_properties(vantaq_cluster_tests PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
if(VANTAQ_TEST_PCH)
    target_precompile_headers(vantaq_cluster_tests REUSE_FROM vantaq_test_support)
endif()
add_dependencies(vantaq_cluster_tests vantaq-job EclCCE cce)
if(TARGET vantaq)
    # One test kills the window program itself mid-submission.
    add_dependencies(vantaq_cluster_tests vantaq)
endif()
gtest_discover_tests(vantaq_cluster_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 180
    LABELS cluster-end-to-end FIXTURES_REQUIRED slurm_cluster RESOURCE_LOCK slurm_cluster
    COST 100)
add_test(NAME slurm_cluster_start
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/cluster-fixture.sh start ${VANTAQ_SLURM_STATE})
set_tests_properties(slurm_cluster_start PROPERTIES
    FIXTURES_SETUP slurm_cluster LABELS "cluster;end-to-end" TIMEOUT 60 COST 100)
add_test(NAME slurm_cluster_stop
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/cluster-fixture.sh stop ${VANTAQ_SLURM_STATE})
set_tests_properties(slurm_cluster_stop PROPERTIES
    FIXTURES_CLEANUP slurm_cluster LABELS "cluster;end-to-end" TIMEOUT 60)

# Fuzz targets (cmake/Fuzz.cmake); a description takes five control lists, so fewer inputs.
vantaq_add_fuzzer(job_description SOURCES job_description_fuzzer.cpp
    SEEDS fuzz-seeds/job_description MAX_LEN 16384 RUNS 1000)
