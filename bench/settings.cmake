orvalis_add_bench(bench_settings ${CMAKE_CURRENT_LIST_DIR}/bench_settings.cpp)
target_link_libraries(bench_settings PRIVATE orvalis_ui)
