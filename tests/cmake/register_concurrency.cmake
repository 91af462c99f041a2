# Several processes writing one register at once, checked from the Linux side.
add_test(NAME register_concurrent_writers
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/register/concurrent_writers.sh
          ${CMAKE_BINARY_DIR} $<TARGET_FILE:register_writer>)
set_tests_properties(register_concurrent_writers PROPERTIES TIMEOUT 300)
