vandrel_add_bench(NAME bench_actions SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/actions_bench.cpp
  LIBS vandrel_model vandrel_platform_sim)
