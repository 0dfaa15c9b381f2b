# The program against a numpy peer of the same computations (python3-numpy, installed for make bench).
orvalis_add_bench(bench_peer ${CMAKE_CURRENT_LIST_DIR}/bench_peer.cpp)
target_link_libraries(bench_peer PRIVATE orvalis_core)
# Debian's interpreter, the one python3-numpy installs into (a python3 found earlier on PATH may lack it).
find_program(ORVALIS_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT ORVALIS_PYTHON3)
  set(ORVALIS_PYTHON3 python3)
endif()
target_compile_definitions(bench_peer PRIVATE ORVALIS_NUMPY_PEER="${CMAKE_CURRENT_LIST_DIR}/numpy_peer.py"
                                              ORVALIS_PYTHON3="${ORVALIS_PYTHON3}")
