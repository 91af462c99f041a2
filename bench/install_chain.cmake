# The install chain benchmark's driver program (bench/install_chain.sh runs it
# through tools/wizard_driver/run_e2e.sh). It uses the wizard driver
# (tools/wizard_driver.cmake), so bench/CMakeLists.txt includes it.
add_executable(install_chain_bench ${CMAKE_CURRENT_LIST_DIR}/install_chain.cpp)
target_link_libraries(install_chain_bench PRIVATE wizard_driver psapi)
set_target_properties(install_chain_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
