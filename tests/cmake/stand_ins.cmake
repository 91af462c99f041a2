# A program that holds a file open without sharing: the install tests use it
# to make a file of the DesktopApp folder "in use".
add_executable(zan_file_holder ${CMAKE_SOURCE_DIR}/tests/stand_ins/file_holder.cpp)
set_target_properties(zan_file_holder PROPERTIES OUTPUT_NAME file_holder
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stand_ins)
