vandrel_add_bench(NAME bench_db SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/db_bench.cpp LIBS vandrel_clip)
