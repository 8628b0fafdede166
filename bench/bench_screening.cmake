# Screening from F3 to the filled list: the real server in process, the panel on the offscreen platform.
if(VORTEQ_BUILD_UI AND TARGET vorteq_test_server)
    vorteq_add_bench(bench_screening ${CMAKE_CURRENT_LIST_DIR}/bench_screening.cpp)
    target_link_libraries(bench_screening PRIVATE vorteq_ui vorteq_test_server)
    vorteq_widget_warnings(bench_screening)
endif()
