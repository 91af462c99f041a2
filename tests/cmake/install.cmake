# The install variants read the end-to-end server's content (to unpack its
# packages with 7zz for the comparisons), so they come after it.
set_tests_properties(fixture_install_variants PROPERTIES FIXTURES_REQUIRED wizard_packages)
