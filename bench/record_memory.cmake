# Record download benchmark (included from bench/CMakeLists.txt).
add_executable(record_download_bench ${CMAKE_CURRENT_LIST_DIR}/record_download_bench.cpp)
target_link_libraries(record_download_bench PRIVATE dkq_record_memory dkq_test_support)
add_dependencies(record_download_bench dkqsim)
