# A back-test from F5 to the filled result views: the real server in process, the window on the offscreen platform.
if(VORTEQ_BUILD_UI AND TARGET vorteq_test_server)
    vorteq_add_bench(bench_run ${CMAKE_CURRENT_LIST_DIR}/bench_run.cpp)
    target_link_libraries(bench_run PRIVATE vorteq_ui vorteq_test_server)
    vorteq_widget_warnings(bench_run)
endif()
