# A step of the defocus in the real main window, typed and by key, timed in the program itself.
orvalis_add_bench(bench_window_step ${CMAKE_CURRENT_LIST_DIR}/bench_window_step.cpp)
target_link_libraries(bench_window_step PRIVATE orvalis_ui orvalis_synthetic)
