# The install chain's end-to-end program compares what the setup unpacks with
# what 7zz unpacks from the same server packages, and serves damaged and long
# packages: it needs the install variants, which read the server's content.
if(TEST e2e_install_test)
  set_tests_properties(fixture_install_variants PROPERTIES FIXTURES_REQUIRED wizard_packages)
  set_tests_properties(e2e_install_test PROPERTIES
    FIXTURES_REQUIRED "wizard_prefix;wizard_packages;install_variants")
  add_dependencies(e2e_install_test zan_file_holder)
endif()

if(TARGET wizard_driver)
  include(${CMAKE_SOURCE_DIR}/bench/install_chain.cmake)
endif()
