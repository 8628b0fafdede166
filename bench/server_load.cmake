# Screening load on the statement server over loopback, with the raw SQLite time of the same statement.
if(TARGET vorteq_server)
    vorteq_add_bench(bench_server_load bench_server_load.cpp)
    target_link_libraries(bench_server_load PRIVATE vorteq_server)
endif()
