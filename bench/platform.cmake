vandrel_add_bench(NAME bench_keys SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/keys_bench.cpp
  LIBS vandrel_model vandrel_platform_sim)
