# Parameter sweeps on made-up prices: the engine alone, one and two worker threads.
vorteq_add_bench(bench_sweep ${CMAKE_CURRENT_LIST_DIR}/bench_sweep.cpp)
# The random walks and the rules of the sweep tests.
target_include_directories(bench_sweep PRIVATE ${PROJECT_SOURCE_DIR}/tests)
