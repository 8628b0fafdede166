vorteq_add_bench(bench_analysis ${CMAKE_CURRENT_LIST_DIR}/bench_analysis.cpp)
target_include_directories(bench_analysis PRIVATE ${CMAKE_CURRENT_LIST_DIR})
