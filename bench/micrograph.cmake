# The micrograph library: read + spectrum of a 4096^2 MRC against a numpy peer (python3-numpy).
find_program(ORVALIS_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT ORVALIS_PYTHON3)
  set(ORVALIS_PYTHON3 python3)
endif()
orvalis_add_bench(bench_micrograph ${CMAKE_CURRENT_LIST_DIR}/bench_micrograph.cpp)
target_link_libraries(bench_micrograph PRIVATE orvalis_micrograph orvalis_synthetic)
target_compile_definitions(bench_micrograph PRIVATE
  ORVALIS_NUMPY_MICROGRAPH_PEER="${CMAKE_CURRENT_LIST_DIR}/numpy_micrograph_peer.py" ORVALIS_PYTHON3="${ORVALIS_PYTHON3}")
# A driver for measuring the peak memory of read + spectrum with /usr/bin/time
# (scripts/measure-micrograph-memory.sh).
add_executable(micrograph_peak ${CMAKE_CURRENT_LIST_DIR}/micrograph_peak.cpp)
target_link_libraries(micrograph_peak PRIVATE orvalis_micrograph orvalis_synthetic)
