# The browser of many fits: a folder of 500 micrographs with our fits and CTFFIND's opened into the
# dialog's table, and one thumbnail as the background computes it.
orvalis_add_bench(bench_fitbrowser ${CMAKE_CURRENT_LIST_DIR}/bench_fitbrowser.cpp)
target_link_libraries(bench_fitbrowser PRIVATE orvalis_ui orvalis_synthetic)
