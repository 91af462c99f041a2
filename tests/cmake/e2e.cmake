# End-to-end tests of the setup: every tests/wizard/e2e_*_test.cpp is a test
# program that sees the setup only from outside, through the wizard driver
# (tools/wizard_driver/driver.h, defined in tools/wizard_driver.cmake); it
# links neither the wizard nor the services, only the resource ids. Each
# program runs through tools/wizard_driver/run_e2e.sh, in a Wine prefix, wineserver,
# display and update server of its own, so programs run in parallel while the
# scenarios inside one run one after another.
#
# A program's ctest time-out comes from a comment line in its source:
#   // e2e-timeout: <seconds>        (default 300)
# and the fixtures it needs beyond the prefix and the packages from one like
# the in-process tests':
#   // fixtures: name1 name2

set(E2E_RUNNER ${CMAKE_SOURCE_DIR}/tools/wizard_driver/run_e2e.sh)
file(GLOB E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wizard/e2e_*_test.cpp)
foreach(source ${E2E_TESTS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE wizard_driver gtest_main)
  add_test(NAME ${name} COMMAND sh ${E2E_RUNNER} $<TARGET_FILE:${name}> --gtest_color=no)
  set(timeout 300)
  file(STRINGS ${source} timeout_lines REGEX "^// e2e-timeout:")
  if(timeout_lines)
    string(REGEX REPLACE "^// e2e-timeout:[ ]*([0-9]+).*" "\\1" timeout "${timeout_lines}")
  endif()
  set(fixtures wizard_prefix wizard_packages)
  file(STRINGS ${source} fixture_lines REGEX "^// fixtures:")
  if(fixture_lines)
    string(REGEX REPLACE "^// fixtures:[ ]*" "" extra "${fixture_lines}")
    string(REPLACE " " ";" extra "${extra}")
    list(APPEND fixtures ${extra})
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${timeout}
    FIXTURES_REQUIRED "${fixtures}"
    ENVIRONMENT "E2E_BUILD_DIR=${CMAKE_BINARY_DIR};E2E_TEST_DATA=${TEST_DATA_DIR}")
endforeach()
