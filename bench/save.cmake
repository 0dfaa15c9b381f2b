# The save commands: the curve table, the map table and an EMF of the 1D chart.
orvalis_add_bench(bench_save ${CMAKE_CURRENT_SOURCE_DIR}/bench_save.cpp)
target_link_libraries(bench_save PRIVATE orvalis_chart)
