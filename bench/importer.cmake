# Import throughput of the statement server's importer, and the time to create the demo market.
if(TARGET vorteq_server)
    vorteq_add_bench(bench_import ${CMAKE_CURRENT_LIST_DIR}/bench_import.cpp)
    target_include_directories(bench_import PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(bench_import PRIVATE vorteq_server)
endif()
