# The stand-in for the .NET Framework 4.8 web installer, embedded as the
# setup's resource 178 unless ZAN_NETFW_INSTALLER names the real file.
add_executable(netfw_stand_in WIN32 ${CMAKE_CURRENT_LIST_DIR}/netfw_stand_in.c)
set_target_properties(netfw_stand_in PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
