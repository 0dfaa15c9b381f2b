# The session alone: what one step of a control costs without any window.
orvalis_add_bench(bench_session ${CMAKE_CURRENT_LIST_DIR}/bench_session.cpp)
target_link_libraries(bench_session PRIVATE orvalis_session)
