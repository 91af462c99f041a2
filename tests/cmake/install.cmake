# The install variants read the end-to-end server's content (to unpack its
# packages with 7zz for the comparisons), so they come after it. The install
# chain's end-to-end program starts the file holder stand-in.
set_tests_properties(fixture_install_variants PROPERTIES FIXTURES_REQUIRED wizard_packages)
if(TARGET e2e_install_test)
  add_dependencies(e2e_install_test zan_file_holder)
endif()
