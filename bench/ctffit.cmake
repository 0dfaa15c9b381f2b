# The CTF fit: its accuracy over synthetic micrographs (a table, not a timing) and its speed.
add_executable(ctffit_accuracy ${CMAKE_CURRENT_LIST_DIR}/ctffit_accuracy.cpp)
target_link_libraries(ctffit_accuracy PRIVATE orvalis_micrograph orvalis_synthetic)
orvalis_add_bench(bench_ctffit ${CMAKE_CURRENT_LIST_DIR}/bench_ctffit.cpp)
target_link_libraries(bench_ctffit PRIVATE orvalis_micrograph orvalis_synthetic)
# The fit on tilted and thick specimens (a table, not a timing), over camera-like micrographs.
add_executable(specimen_accuracy ${CMAKE_CURRENT_LIST_DIR}/specimen_accuracy.cpp)
target_link_libraries(specimen_accuracy PRIVATE orvalis_micrograph orvalis_synthetic)
