# extract_bench: times Extract7z on one archive (bench/extract_7z.sh).
add_executable(extract_bench ${CMAKE_CURRENT_LIST_DIR}/extract_bench.cpp)
target_link_libraries(extract_bench PRIVATE services psapi)
target_compile_options(extract_bench PRIVATE -Wall -Wextra)
set_target_properties(extract_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
