# Upload benchmark (included from bench/CMakeLists.txt).
add_executable(upload_bench ${CMAKE_CURRENT_LIST_DIR}/upload_bench.cpp)
target_link_libraries(upload_bench PRIVATE dkq_webmon_core dkq_test_support)
add_dependencies(upload_bench dkqsim dkq-collector)
