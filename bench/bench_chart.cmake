# The chart of a run built and painted, and the cost of the risk and return figures against the back-test.
if(VORTEQ_BUILD_UI)
    vorteq_add_bench(bench_chart ${CMAKE_CURRENT_LIST_DIR}/bench_chart.cpp)
    target_include_directories(bench_chart PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(bench_chart PRIVATE vorteq_ui)
    vorteq_widget_warnings(bench_chart)
endif()
