vandrel_add_bench(NAME bench_rx SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/rx_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/allocation_count.cpp LIBS vandrel_rx)
