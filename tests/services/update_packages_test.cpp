// The sample update-server content made by tools/build_packages.py: what the
// setup relies on in it, and the descriptor's checksum recomputed by the
// setup's own folder check over the unpacked archive.
// fixtures: sample_packages
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <string>

#include "constants.h"
#include "desktopapp_checksum.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::TestData;

namespace {

// A server path ("/update/x.7z") as a path under a fixture folder.
std::string Under(const std::string& folder, const std::string& urlPath) {
  std::string path = TestData(folder);
  for (char c : urlPath) path += c == '/' ? '\\' : c;
  return path;
}

std::string ServerPath(const std::string& url) {
  EXPECT_EQ(url.compare(0, g_updateServerUrl.size(), g_updateServerUrl), 0) << url;
  return url.substr(g_updateServerUrl.size());
}

}  // namespace

TEST(UpdatePackages, EveryEnvironment) {
  for (int env : {EnvDev, EnvTest, EnvProduction}) {
    SCOPED_TRACE(env);
    const ServerUrlSet& set = UrlSetFor(env);

    EXPECT_EQ(ReadBytes(Under("update_server", ServerPath(set.setupInfoUrl))), "2025.79.0.0\r\n");
    const std::string setupPackage = Under("update_server_unpacked", ServerPath(set.setupPackageUrl));
    EXPECT_TRUE(Exists(setupPackage + "\\" + set.setupExeName));

    pugi::xml_document xml;
    ASSERT_TRUE(xml.load_string(ReadBytes(Under("update_server", ServerPath(set.desktopAppXmlUrl))).c_str()));
    pugi::xml_node rel = xml.child("rel");
    const std::string url = rel.child("download_url").child_value();
    const std::string number = rel.child("number").child_value();
    const std::string checksum = rel.child("checksum").child_value();
    ASSERT_FALSE(number.empty());
    ASSERT_EQ(checksum.size(), 32u);

    const std::string bin = Under("update_server_unpacked", ServerPath(url)) + "\\";
    EXPECT_TRUE(Exists(bin + "DesktopApp.exe"));
    EXPECT_TRUE(Exists(bin + "vex.exe"));
    EXPECT_TRUE(Exists(bin + number + "\\locales"));
    EXPECT_TRUE(VerifyFolderChecksum(bin, checksum, number));
    EXPECT_FALSE(VerifyFolderChecksum(bin, checksum, "9.9.9.9"));
  }
}

TEST(UpdatePackages, KorvalTree) {
  const std::string root =
      Under("update_server_unpacked", ServerPath(g_korvalPackageUrl)) + "\\";
  for (const char* entry : {"HOME\\BIN\\wrun32.exe", "HOME\\ETC", "FILES", "ZANOLINF.TXT"}) {
    EXPECT_TRUE(Exists(root + entry)) << entry;
  }
}
