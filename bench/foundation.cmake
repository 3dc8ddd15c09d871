vandrel_add_bench(NAME bench_foundation SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/foundation_bench.cpp LIBS vandrel_foundation)
