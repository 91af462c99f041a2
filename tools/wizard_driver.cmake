# The wizard driver: the library through which the end-to-end programs
# (tests/cmake/e2e.cmake) and the install chain benchmark (bench/) drive the
# real setup from outside. It links neither the wizard nor the services, only
# the resource ids. Its users include it as "wizard_driver/driver.h".
# (tests/ is configured before tools/: the e2e programs name this target
# before it exists, which CMake resolves when it generates the build.)
add_library(wizard_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/wizard_driver/driver.cpp)
target_include_directories(wizard_driver PUBLIC ${CMAKE_CURRENT_LIST_DIR}
  ${CMAKE_SOURCE_DIR}/resources)
# The file helpers it shares with the in-process tests (tests/support/files.h).
target_link_libraries(wizard_driver PUBLIC test_files gtest gdi32 user32 advapi32 version)
