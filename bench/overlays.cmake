# The overlays need a widget application (offscreen), so their benchmark brings its own entry point.
add_executable(bench_overlays ${CMAKE_CURRENT_SOURCE_DIR}/overlays_bench.cpp)
target_link_libraries(bench_overlays PRIVATE benchmark::benchmark vandrel_overlays vandrel_platform_sim)
set_property(GLOBAL APPEND PROPERTY VANDREL_BENCHMARKS bench_overlays)
