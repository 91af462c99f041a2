// fixtures: smoke_archive
// The three libraries we build ourselves, exercised for real under Wine.
#include <gtest/gtest.h>

#include <SQLiteCpp/SQLiteCpp.h>
#include <pugixml.hpp>

extern "C" {
#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "7zFile.h"
}

#include <cstring>
#include <string>

#include "test_support.h"

using testing_support::TempDir;

TEST(DependencySmoke, SqliteTableWrittenAndReadBack) {
  TempDir dir;
  const std::string file = dir / "smoke.db";
  {
    SQLite::Database db(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT)");
    SQLite::Statement insert(db, "INSERT INTO t (name) VALUES (?)");
    insert.bind(1, "Studio Rossi");
    EXPECT_EQ(insert.exec(), 1);
  }
  SQLite::Database db(file, SQLite::OPEN_READONLY);
  SQLite::Statement query(db, "SELECT id, name FROM t");
  ASSERT_TRUE(query.executeStep());
  EXPECT_EQ(query.getColumn(0).getInt(), 1);
  EXPECT_EQ(query.getColumn(1).getString(), "Studio Rossi");
  EXPECT_FALSE(query.executeStep());
}

TEST(DependencySmoke, PugixmlParsesDescriptor) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string("<rel><number>1.2.3.4</number><checksum>ab</checksum></rel>"));
  EXPECT_STREQ(doc.child("rel").child_value("number"), "1.2.3.4");
  EXPECT_STREQ(doc.child("rel").child_value("checksum"), "ab");
  EXPECT_FALSE(doc.load_string("<rel><number>"));
}

TEST(DependencySmoke, SevenZipEntryExtracted) {
  const std::string archive = testing_support::TestData("smoke\\smoke.7z");
  CFileInStream file;
  ASSERT_EQ(InFile_Open(&file.file, archive.c_str()), 0) << archive;
  FileInStream_CreateVTable(&file);
  ISzAlloc alloc = {SzAlloc, SzFree};
  ISzAlloc allocTemp = {SzAllocTemp, SzFreeTemp};
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  static Byte buffer[1 << 14];
  look.buf = buffer;
  look.bufSize = sizeof buffer;
  look.realStream = &file.vt;
  LookToRead2_INIT(&look);
  CrcGenerateTable();
  CSzArEx db;
  SzArEx_Init(&db);
  ASSERT_EQ(SzArEx_Open(&db, &look.vt, &alloc, &allocTemp), SZ_OK);

  bool found = false;
  UInt32 blockIndex = 0xFFFFFFFF;
  Byte* out = nullptr;
  size_t outSize = 0;
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    UInt16 name[64];
    ASSERT_LT(SzArEx_GetFileNameUtf16(&db, i, nullptr), 64u);
    SzArEx_GetFileNameUtf16(&db, i, name);
    std::string narrow;
    for (UInt16* p = name; *p; ++p) narrow += static_cast<char>(*p);
    if (narrow != "hello.txt") continue;
    size_t offset = 0, size = 0;
    ASSERT_EQ(SzArEx_Extract(&db, &look.vt, i, &blockIndex, &out, &outSize, &offset, &size, &alloc,
                             &allocTemp),
              SZ_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + offset, size), "ciao dal pacchetto\r\n");
    found = true;
  }
  EXPECT_TRUE(found);
  ISzAlloc_Free(&alloc, out);
  SzArEx_Free(&db, &alloc);
  File_Close(&file.file);
}
