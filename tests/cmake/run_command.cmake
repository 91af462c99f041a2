# The README's run command, checked on a display of its own: the launch part
# of scripts/run.sh (tools/run_setup.sh, which builds nothing) runs the setup,
# and this driver program (tests/run/run_command_test.cpp) adopts it in the
# same prefix and display; tests/run/run_command_test.sh checks the rest from
# outside.
add_executable(run_command_test ${CMAKE_SOURCE_DIR}/tests/run/run_command_test.cpp)
target_link_libraries(run_command_test PRIVATE wizard_driver gtest_main)
add_test(NAME run_command_test
  COMMAND sh ${CMAKE_SOURCE_DIR}/tests/run/run_command_test.sh ${CMAKE_BINARY_DIR}
    $<TARGET_FILE:run_command_test>)
set_tests_properties(run_command_test PROPERTIES
  TIMEOUT 180
  FIXTURES_REQUIRED "wizard_prefix;wizard_packages")
