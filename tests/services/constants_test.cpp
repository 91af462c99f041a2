// The URL sets are usable from another file's static initialisation, which
// may run before that of the constants' own file.
#include <gtest/gtest.h>

#include "constants.h"

// Built before any static object of default priority, the constants' included,
// whatever the order the linker puts the files in.
static const ServerUrlSet kEarlyProduction __attribute__((init_priority(101))) =
    UrlSetFor(EnvProduction);

TEST(Constants, UrlSetsUsableFromOtherStaticInitialisers) {
  EXPECT_EQ(kEarlyProduction.setupPackageName, "ZAN2025.7z");
  EXPECT_EQ(kEarlyProduction.setupInfoUrl, "http://" + g_updateHost + "/update/setup_ZAN2025.txt");
}
