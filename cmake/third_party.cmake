# Static MinGW builds of the libraries fetched by scripts/bootstrap.sh from
# Debian's source packages into third_party/ (never committed).
set(THIRD_PARTY_DIR ${CMAKE_SOURCE_DIR}/third_party)

function(find_source_dir out pattern)
  file(GLOB dirs LIST_DIRECTORIES true ${THIRD_PARTY_DIR}/${pattern})
  list(SORT dirs)
  list(LENGTH dirs n)
  if(n EQUAL 0)
    message(FATAL_ERROR "${pattern} not found in ${THIRD_PARTY_DIR}: run scripts/bootstrap.sh")
  endif()
  list(GET dirs -1 dir)
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

# SQLite amalgamation and SQLiteCpp
find_source_dir(SQLITECPP_DIR sqlitecpp-*)
add_library(sqlite3 STATIC ${SQLITECPP_DIR}/sqlite3/sqlite3.c)
target_include_directories(sqlite3 SYSTEM PUBLIC ${SQLITECPP_DIR}/sqlite3)
target_compile_definitions(sqlite3 PUBLIC SQLITE_THREADSAFE=1)
target_compile_options(sqlite3 PRIVATE -w)

file(GLOB SQLITECPP_SOURCES ${SQLITECPP_DIR}/src/*.cpp)
add_library(SQLiteCpp STATIC ${SQLITECPP_SOURCES})
target_include_directories(SQLiteCpp SYSTEM PUBLIC ${SQLITECPP_DIR}/include)
target_link_libraries(SQLiteCpp PUBLIC sqlite3)
target_compile_options(SQLiteCpp PRIVATE -w)

# pugixml
find_source_dir(PUGIXML_DIR pugixml-*)
add_library(pugixml STATIC ${PUGIXML_DIR}/src/pugixml.cpp)
target_include_directories(pugixml SYSTEM PUBLIC ${PUGIXML_DIR}/src)
target_compile_options(pugixml PRIVATE -w)

# LZMA SDK: the C 7z decoder with the coders our packages use.
find_source_dir(SEVENZIP_DIR 7zip-*)
set(LZMA_C ${SEVENZIP_DIR}/C)
add_library(lzmasdk STATIC
  ${LZMA_C}/7zArcIn.c ${LZMA_C}/7zBuf.c ${LZMA_C}/7zBuf2.c ${LZMA_C}/7zCrc.c
  ${LZMA_C}/7zCrcOpt.c ${LZMA_C}/7zDec.c ${LZMA_C}/7zStream.c ${LZMA_C}/7zAlloc.c
  ${LZMA_C}/7zFile.c ${LZMA_C}/Alloc.c ${LZMA_C}/LzmaDec.c ${LZMA_C}/Lzma2Dec.c
  ${LZMA_C}/Bcj2.c ${LZMA_C}/Bra.c ${LZMA_C}/Bra86.c ${LZMA_C}/BraIA64.c
  ${LZMA_C}/CpuArch.c ${LZMA_C}/Delta.c)
target_include_directories(lzmasdk SYSTEM PUBLIC ${LZMA_C})
target_compile_options(lzmasdk PRIVATE -w)

# GoogleTest from Debian's googletest package (sources in /usr/src/googletest)
set(GTEST_SRC /usr/src/googletest/googletest)
add_library(gtest STATIC ${GTEST_SRC}/src/gtest-all.cc)
target_include_directories(gtest SYSTEM PUBLIC ${GTEST_SRC}/include PRIVATE ${GTEST_SRC})
target_compile_options(gtest PRIVATE -w)
add_library(gtest_main STATIC ${GTEST_SRC}/src/gtest_main.cc)
target_link_libraries(gtest_main PUBLIC gtest)
set(GMOCK_SRC /usr/src/googletest/googlemock)
add_library(gmock STATIC ${GMOCK_SRC}/src/gmock-all.cc)
target_include_directories(gmock SYSTEM PUBLIC ${GMOCK_SRC}/include PRIVATE ${GMOCK_SRC})
target_link_libraries(gmock PUBLIC gtest)
target_compile_options(gmock PRIVATE -w)
