// The URL sets are usable from another file's static initialisation, which
// may run before that of the constants' own file.
#include <gtest/gtest.h>

#include "constants.h"

static const ServerUrlSet kEarlyProduction = UrlSetFor(EnvProduction);

TEST(Constants, UrlSetsUsableFromOtherStaticInitialisers) {
  EXPECT_EQ(kEarlyProduction.setupPackageName, "ZAN2025.7z");
  EXPECT_EQ(kEarlyProduction.setupInfoUrl, "http://" + g_updateHost + "/update/setup_ZAN2025.txt");
}
