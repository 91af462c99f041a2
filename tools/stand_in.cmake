# The stand-in executable packed into the sample packages (tools/build_packages.py).
add_executable(stand_in WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/stand_in.c)
set_target_properties(stand_in PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
