orvalis_add_bench(bench_dialogs ${CMAKE_CURRENT_LIST_DIR}/bench_dialogs.cpp)
target_link_libraries(bench_dialogs PRIVATE orvalis_ui)
