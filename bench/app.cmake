# The program's start-up on the simulated platform needs a widget application (offscreen): its own entry point.
add_executable(bench_app ${CMAKE_CURRENT_SOURCE_DIR}/app_bench.cpp)
target_link_libraries(bench_app PRIVATE benchmark::benchmark vandrel_app vandrel_platform_sim)
set_property(GLOBAL APPEND PROPERTY VANDREL_BENCHMARKS bench_app)
