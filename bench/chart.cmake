# The 1D chart refilled and redrawn synchronously, as on every step of a slider drag.
orvalis_add_bench(bench_chart ${CMAKE_CURRENT_SOURCE_DIR}/bench_chart.cpp)
target_link_libraries(bench_chart PRIVATE orvalis_chart)
