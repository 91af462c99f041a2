# The file utilities' tests: a BINARY resource compiled into the test program.
target_sources(file_utils_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../services/file_utils_test.rc)
