# The tilt series fit: its accuracy over synthetic series and its time on a 41-tilt 4096^2 series
# (tables, not Google Benchmark timings).
add_executable(series_accuracy ${CMAKE_CURRENT_LIST_DIR}/series_accuracy.cpp)
target_link_libraries(series_accuracy PRIVATE orvalis_micrograph orvalis_synthetic)
