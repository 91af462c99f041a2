// The sample update-server content made by tools/build_packages.py: what the setup
// relies on in it, and the descriptor's checksum checked by the setup's own code.
// fixtures: sample_packages
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "constants.h"
#include "desktopapp_checksum.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::ReadBytes;

// An update-server URL as a path under a fixture folder.
static std::string Under(const std::string& folder, const std::string& url) {
  EXPECT_EQ(url.compare(0, g_updateServerUrl.size(), g_updateServerUrl), 0) << url;
  std::string path = testing_support::TestData(folder);
  for (char c : url.substr(g_updateServerUrl.size())) path += c == '/' ? '\\' : c;
  return path;
}

TEST(UpdatePackages, EveryEnvironment) {
  for (int env : {EnvDev, EnvTest, EnvProduction}) {
    SCOPED_TRACE(env);
    const ServerUrlSet& set = UrlSetFor(env);
    EXPECT_EQ(ReadBytes(Under("update_server", set.setupInfoUrl)), "2025.79.0.0\r\n");
    const std::string setup = Under("update_server_unpacked", set.setupPackageUrl);
    EXPECT_TRUE(Exists(setup + "\\" + set.setupExeName));
    pugi::xml_document xml;
    ASSERT_TRUE(xml.load_string(ReadBytes(Under("update_server", set.desktopAppXmlUrl)).c_str()));
    const pugi::xml_node rel = xml.child("rel");
    const std::string number = rel.child("number").child_value();
    const std::string checksum = rel.child("checksum").child_value();
    const std::string bin =
        Under("update_server_unpacked", rel.child("download_url").child_value()) + "\\";
    ASSERT_FALSE(number.empty());
    for (const std::string& entry : {std::string("vex.exe"), std::string("DesktopApp.exe"),
                                     number + "\\locales"})
      EXPECT_TRUE(Exists(bin + entry)) << entry;
    EXPECT_TRUE(VerifyFolderChecksum(bin, checksum, number));
    EXPECT_FALSE(VerifyFolderChecksum(bin, checksum, "9.9.9.9"));
  }
  const std::string root = Under("update_server_unpacked", g_korvalPackageUrl) + "\\";
  for (const char* entry : {"HOME\\BIN\\wrun32.exe", "HOME\\ETC", "FILES", "ZANOLINF.TXT"})
    EXPECT_TRUE(Exists(root + entry)) << entry;
}
