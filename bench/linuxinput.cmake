vandrel_add_bench(NAME bench_linux_input SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/linux_input_bench.cpp
  LIBS vandrel_platform_linux)
target_include_directories(bench_linux_input PRIVATE ${VANDREL_SOURCE_DIR}/tests/platform/linux)
vandrel_add_bench(NAME bench_key_path SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/key_path_bench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/allocation_count.cpp ${CMAKE_CURRENT_SOURCE_DIR}/lock_count.cpp
  LIBS vandrel_engine vandrel_catalogue vandrel_platform_sim vandrel_platform_linux)
target_include_directories(bench_key_path PRIVATE ${VANDREL_SOURCE_DIR}/tests/platform/linux)
