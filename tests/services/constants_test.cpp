// The composed names and URLs of the three server environments.
#include <gtest/gtest.h>

#include "constants.h"

// Built during this file's static initialisation, which may run before that of
// the constants' own file: the URL sets must not depend on that order.
static const ServerUrlSet kEarlyProduction = UrlSetFor(EnvProduction);

TEST(Constants, NamesComposedFromTheYear) {
  EXPECT_EQ(g_platformName, "ZAN" + g_year);
  EXPECT_EQ(g_korvalPackageName, "korval" + g_year + ".7z");
  EXPECT_EQ(g_logFileName, "\\DesktopApp_setup_log.txt");
  EXPECT_EQ(g_korvalPackageUrl, "http://" + g_updateHost + "/update/korval/korval" + g_year + ".7z");
}

TEST(Constants, UrlSetsPerEnvironment) {
  const std::string root = "http://" + g_updateHost;
  struct Row {
    int env;
    const char *info, *package, *xml, *exe, *prefix;
  } rows[] = {
      {EnvDev, "/update/setup_ZAN2025_dev.txt", "/ZAN2025_DEV.7z", "/update/desktopapp_dev.xml",
       "ZAN2025_DEV.exe", "DEV - "},
      {EnvTest, "/update/setup_ZAN2025_test.txt", "/ZAN2025_TEST.7z",
       "/update/desktopapp_test.xml", "ZAN2025_TEST.exe", "TEST - "},
      {EnvProduction, "/update/setup_ZAN2025.txt", "/ZAN2025.7z", "/update/desktopapp.xml",
       "ZAN2025.exe", ""},
      {7, "/update/setup_ZAN2025.txt", "/ZAN2025.7z", "/update/desktopapp.xml", "ZAN2025.exe", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.env);
    const ServerUrlSet& set = UrlSetFor(r.env);
    EXPECT_EQ(set.setupInfoUrl, root + r.info);
    EXPECT_EQ(set.setupPackageUrl, root + r.package);
    EXPECT_EQ(set.setupPackageName, std::string(r.package).substr(1));
    EXPECT_EQ(set.desktopAppXmlUrl, root + r.xml);
    EXPECT_EQ(set.setupExeName, r.exe);
    EXPECT_EQ(set.titlePrefix, r.prefix);
  }
}

TEST(Constants, UrlSetsUsableFromOtherStaticInitialisers) {
  EXPECT_EQ(kEarlyProduction.setupPackageName, "ZAN2025.7z");
  EXPECT_EQ(kEarlyProduction.setupInfoUrl, "http://" + g_updateHost + "/update/setup_ZAN2025.txt");
}
