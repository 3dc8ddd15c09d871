vandrel_add_bench(NAME bench_core SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core_bench.cpp LIBS vandrel_core)
