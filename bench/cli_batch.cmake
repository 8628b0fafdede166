# The command line's batch over a market of 300 stocks for one year, against the real server in
# process on loopback.
if(TARGET vorteq_test_server AND TARGET vorteq_cli)
    vorteq_add_bench(bench_cli_batch ${CMAKE_CURRENT_LIST_DIR}/bench_cli_batch.cpp)
    target_include_directories(bench_cli_batch PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(bench_cli_batch PRIVATE vorteq_cli vorteq_test_server)
endif()
