orvalis_add_bench(bench_store ${CMAKE_CURRENT_LIST_DIR}/bench_store.cpp)
target_link_libraries(bench_store PRIVATE orvalis_store)
# A driver for measuring the importer's peak memory with /usr/bin/time (scripts/measure-import-memory.sh).
add_executable(regimport_peak ${CMAKE_CURRENT_LIST_DIR}/regimport_peak.cpp)
target_link_libraries(regimport_peak PRIVATE orvalis_store)
