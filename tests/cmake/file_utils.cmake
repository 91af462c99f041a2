# The file utilities' tests: a BINARY resource compiled into the test program,
# and a small program with a version resource that reads its own version.
add_executable(file_utils_probe
  ${CMAKE_CURRENT_LIST_DIR}/../services/file_utils_probe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../services/file_utils_probe.rc)
target_link_libraries(file_utils_probe PRIVATE services)
set(FILE_UTILS_PROBE_DIR ${CMAKE_BINARY_DIR}/tests/probes)
set_target_properties(file_utils_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${FILE_UTILS_PROBE_DIR})
string(REPLACE "/" "\\\\" FILE_UTILS_PROBE_WIN "Z:${FILE_UTILS_PROBE_DIR}/file_utils_probe.exe")

target_sources(file_utils_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../services/file_utils_test.rc)
target_compile_definitions(file_utils_test PRIVATE FILE_UTILS_PROBE_EXE="${FILE_UTILS_PROBE_WIN}")
add_dependencies(file_utils_test file_utils_probe)
