# The test runner itself: how it reads a program that Wine ends with a crash.
add_test(NAME wine_run_test
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/run/wine_run_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(wine_run_test PROPERTIES TIMEOUT 60)
