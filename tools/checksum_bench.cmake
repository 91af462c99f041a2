# checksum_bench: times the DesktopApp folder checksum (see checksum_bench.sh).
add_executable(checksum_bench ${CMAKE_CURRENT_LIST_DIR}/checksum_bench.cpp)
target_link_libraries(checksum_bench PRIVATE services)
target_compile_options(checksum_bench PRIVATE -Wall -Wextra)
