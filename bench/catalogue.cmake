vandrel_add_bench(NAME bench_catalogue SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/catalogue_bench.cpp
  LIBS vandrel_catalogue vandrel_platform_sim)
