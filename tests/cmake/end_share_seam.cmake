# A test copy of the setup whose final page is refused the share for lack of
# rights, so its elevated copy (the same executable, in share mode) runs for
# real. The end-to-end test of the final page starts it in place of the setup.
# It carries the setup's own resources and version.
add_executable(end_share_seam_setup WIN32 ${CMAKE_SOURCE_DIR}/wizard/main.cpp
  ${CMAKE_SOURCE_DIR}/tests/wizard/end_share_seam.cpp)
target_link_libraries(end_share_seam_setup PRIVATE wizard setup_resources_setup)
target_link_options(end_share_seam_setup PRIVATE -mwindows)
set_target_properties(end_share_seam_setup PROPERTIES OUTPUT_NAME ZAN2025
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/setup_share_seam)
if(TARGET e2e_end_test)
  add_dependencies(e2e_end_test end_share_seam_setup)
endif()
