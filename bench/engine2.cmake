vandrel_add_bench(NAME bench_engine2 SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine2_bench.cpp
  LIBS vandrel_engine vandrel_platform_sim)
