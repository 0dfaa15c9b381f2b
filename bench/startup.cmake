# The whole program from its start to the first painted main window (splash included), run again and
# again in an empty settings folder.
orvalis_add_bench(bench_startup ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp)
target_link_libraries(bench_startup PRIVATE Qt6::Core)
target_compile_definitions(bench_startup PRIVATE ORVALIS_PROGRAM="$<TARGET_FILE:orvalis>")
add_dependencies(bench_startup orvalis)
