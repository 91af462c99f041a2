# Benchmark of the start-up search for earlier installations. ctest runs it on
# a few offices to keep it working; by hand: wine-run.sh bench/detection_bench.exe 1000
add_executable(detection_bench ${CMAKE_SOURCE_DIR}/bench/detection_bench.cpp)
target_link_libraries(detection_bench PRIVATE test_support)
target_compile_options(detection_bench PRIVATE -Wall -Wextra)
set_target_properties(detection_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_test(NAME detection_bench_small
  COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:detection_bench> 30)
set_tests_properties(detection_bench_small PROPERTIES TIMEOUT 120)
