vandrel_add_bench(NAME bench_hotstring SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hotstring_bench.cpp LIBS vandrel_clip)
