# The register test starts the register_writer tool as several processes.
add_dependencies(shared_info_test register_writer)
target_compile_definitions(shared_info_test PRIVATE
  REGISTER_WRITER_EXE="$<TARGET_FILE:register_writer>")
