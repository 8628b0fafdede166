vorteq_add_bench(bench_gateway ${CMAKE_CURRENT_LIST_DIR}/bench_gateway.cpp)
