# EER decoding: a synthetic 400-frame 4096 x 4096 movie of the tests' own encoder, decoded into sums.
orvalis_add_bench(bench_eer ${CMAKE_CURRENT_LIST_DIR}/bench_eer.cpp)
target_link_libraries(bench_eer PRIVATE orvalis_micrograph orvalis_synthetic)
