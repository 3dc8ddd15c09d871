vandrel_add_bench(NAME bench_clip SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/clip_bench.cpp
  LIBS vandrel_clip vandrel_platform_sim vandrel_platform_linux)
