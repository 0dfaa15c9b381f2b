orvalis_add_bench(bench_ui ${CMAKE_CURRENT_LIST_DIR}/bench_ui.cpp)
target_link_libraries(bench_ui PRIVATE orvalis_ui)
