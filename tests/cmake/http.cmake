# The HTTP client's test program runs inside tools/update_server.py, which
# serves a folder the test fills, answers as the proxy that Wine's WinINet is
# pointed at (http_proxy) and misbehaves on the paths below.
find_package(Python3 COMPONENTS Interpreter REQUIRED)

add_executable(wininet_wrapper_test ${CMAKE_SOURCE_DIR}/tests/http/wininet_wrapper_test.cpp)
target_link_libraries(wininet_wrapper_test PRIVATE test_support gtest_main)
add_test(NAME wininet_wrapper_test
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/update_server.py
    --root ${TEST_DATA_DIR}/http_server --log ${TEST_DATA_DIR}/http_server.log
    --rule /hello/nolength.bin=nolength
    --rule /slow/stall.txt=stall:25
    --rule /slow/given_up.txt=stall:25
    --rule /slow/no_closer.txt=stall:3
    --rule /slow/steady.bin=trickle:1024:125
    --rule /huge/endless.bin=endless
    --rule /huge/info.bin=huge:60
    --rule /huge/moved.txt=huge:60:302
    --rule /redirect/ten.txt=redirect:10
    --rule /redirect/once.txt=redirect:1
    --rule /bound/nolength.bin=nolength
    -- ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:wininet_wrapper_test> --gtest_color=no)
set_tests_properties(wininet_wrapper_test PROPERTIES TIMEOUT 300)
