# The setup's resources. The bitmaps and the icon are drawn at build time by
# tools/make_bitmaps.py, and the file embedded as resource 178 (the .NET
# Framework 4.8 web installer named by ZAN_NETFW_INSTALLER, or our stand-in)
# is copied beside them; windres finds them on its include path.
find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(SETUP_RESOURCE_DIR ${CMAKE_BINARY_DIR}/generated/resources)
set(SETUP_RESOURCE_ART
  ${SETUP_RESOURCE_DIR}/header.bmp ${SETUP_RESOURCE_DIR}/watermark.bmp
  ${SETUP_RESOURCE_DIR}/finished.bmp ${SETUP_RESOURCE_DIR}/discovery.bmp
  ${SETUP_RESOURCE_DIR}/setup.ico)
set(SETUP_RESOURCE_INSTALLER ${SETUP_RESOURCE_DIR}/netfw_installer.bin)

add_custom_command(OUTPUT ${SETUP_RESOURCE_ART}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_bitmaps.py ${SETUP_RESOURCE_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_bitmaps.py
  COMMENT "Drawing the setup's bitmaps"
  VERBATIM)

if(ZAN_NETFW_INSTALLER)
  if(NOT EXISTS ${ZAN_NETFW_INSTALLER})
    message(FATAL_ERROR "ZAN_NETFW_INSTALLER: no file ${ZAN_NETFW_INSTALLER}")
  endif()
  set(netfw_source ${ZAN_NETFW_INSTALLER})
  set(netfw_depends ${ZAN_NETFW_INSTALLER})
else()
  # The stand-in (tools/netfw_stand_in.cmake) is built first.
  set(netfw_source $<TARGET_FILE:netfw_stand_in>)
  set(netfw_depends netfw_stand_in)
endif()
add_custom_command(OUTPUT ${SETUP_RESOURCE_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -E copy ${netfw_source} ${SETUP_RESOURCE_INSTALLER}
  DEPENDS ${netfw_depends}
  COMMENT "Embedding the .NET Framework 4.8 installer"
  VERBATIM)

add_custom_target(setup_resource_files DEPENDS ${SETUP_RESOURCE_ART} ${SETUP_RESOURCE_INSTALLER})
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/setup.rc PROPERTIES OBJECT_DEPENDS
  "${SETUP_RESOURCE_ART};${SETUP_RESOURCE_INSTALLER};${CMAKE_SOURCE_DIR}/resources/setup.manifest;${CMAKE_SOURCE_DIR}/resources/resource.h")

# add_setup_resources(<target> <version>): an object library with the setup's
# compiled resources, the version block carrying <version> (four numbers).
function(add_setup_resources target version)
  string(REPLACE "." "," version_commas ${version})
  add_library(${target} OBJECT ${CMAKE_SOURCE_DIR}/resources/setup.rc)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/resources ${SETUP_RESOURCE_DIR})
  target_compile_definitions(${target} PRIVATE
    ZAN_VERSION_COMMAS=${version_commas} ZAN_VERSION_DOTS=${version})
  add_dependencies(${target} setup_resource_files)
endfunction()
