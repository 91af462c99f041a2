// The libraries we build ourselves, one real call each under Wine (our own
// tests exercise them further through the services).
#include <gtest/gtest.h>

#include <SQLiteCpp/SQLiteCpp.h>
#include <pugixml.hpp>

extern "C" {
#include "7zCrc.h"
}

TEST(DependencySmoke, OneCallEach) {
  SQLite::Database db(":memory:", SQLite::OPEN_READWRITE);
  EXPECT_EQ(db.execAndGet("SELECT 6 * 7").getInt(), 42);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string("<rel><number>1.2.3.4</number></rel>"));
  EXPECT_STREQ(doc.child("rel").child_value("number"), "1.2.3.4");
  CrcGenerateTable();
  EXPECT_EQ(CrcCalc("123456789", 9), 0xCBF43926u);
}
