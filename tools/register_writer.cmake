# register_writer: adds workstations to a register from several processes at once.
add_executable(register_writer ${CMAKE_CURRENT_LIST_DIR}/register_writer.cpp)
target_link_libraries(register_writer PRIVATE services)
