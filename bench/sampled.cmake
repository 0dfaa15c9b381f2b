orvalis_add_bench(bench_sampled ${CMAKE_CURRENT_SOURCE_DIR}/bench_sampled.cpp)
target_link_libraries(bench_sampled PRIVATE orvalis_core)
