# The shell program's batch fit (bench/bench-cli-fit.sh): its micrographs are written by this.
add_executable(make_fit_micrographs ${CMAKE_CURRENT_LIST_DIR}/make_fit_micrographs.cpp)
target_link_libraries(make_fit_micrographs PRIVATE orvalis_synthetic)
