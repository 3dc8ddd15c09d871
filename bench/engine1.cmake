vandrel_add_bench(NAME bench_engine_taps SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_taps_bench.cpp
  LIBS vandrel_engine vandrel_platform_sim)
