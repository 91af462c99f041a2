# add_setup_resources(<target> <version>): an object library with the setup's
# compiled resources, the version block carrying <version> (four numbers).
function(add_setup_resources target version)
  string(REPLACE "." "," version_commas ${version})
  add_library(${target} OBJECT ${CMAKE_SOURCE_DIR}/resources/setup.rc)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/resources)
  target_compile_definitions(${target} PRIVATE
    ZAN_VERSION_COMMAS=${version_commas} ZAN_VERSION_DOTS=${version})
endfunction()
