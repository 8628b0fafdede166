# The daily update of the data API's quotes against a full import of the same days.
if(TARGET vorteq_server)
    vorteq_add_bench(bench_update ${CMAKE_CURRENT_LIST_DIR}/bench_update.cpp)
    target_include_directories(bench_update PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(bench_update PRIVATE vorteq_server)
endif()
