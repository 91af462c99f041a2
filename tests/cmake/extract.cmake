# Stand-ins for the running-program checks: one small waiting program copied
# under the image names the setup looks for, plus one wrongly cased copy.
add_executable(zan_sleeper WIN32 ${CMAKE_SOURCE_DIR}/tools/sleeper_stand_in.cpp)
set(STAND_IN_DIR ${CMAKE_BINARY_DIR}/stand_ins)
add_custom_command(TARGET zan_sleeper POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${STAND_IN_DIR}/wrongcase
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zan_sleeper> ${STAND_IN_DIR}/DesktopApp.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zan_sleeper> ${STAND_IN_DIR}/vex.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zan_sleeper> ${STAND_IN_DIR}/wrun32.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zan_sleeper> ${STAND_IN_DIR}/wrongcase/desktopapp.exe)
string(REPLACE "/" "\\\\" STAND_IN_DIR_WIN "Z:${STAND_IN_DIR}")
add_dependencies(process_checks_test zan_sleeper)
target_compile_definitions(process_checks_test PRIVATE STAND_IN_DIR_WIN="${STAND_IN_DIR_WIN}")

# The setup is linked large-address aware (its own header says so).
add_test(NAME setup_large_address_aware COMMAND ${CMAKE_OBJDUMP} -p $<TARGET_FILE:setup>)
set_tests_properties(setup_large_address_aware PROPERTIES
  PASS_REGULAR_EXPRESSION "large address aware")
