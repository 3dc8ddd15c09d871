vandrel_add_bench(NAME bench_hotstring SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hotstring_bench.cpp LIBS vandrel_clip)
target_compile_definitions(bench_hotstring PRIVATE VANDREL_EVALUATOR_PATH="$<TARGET_FILE:vandrel-eval>")
add_dependencies(bench_hotstring vandrel-eval)
