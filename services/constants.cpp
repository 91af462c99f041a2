#include "constants.h"

#ifndef ZAN_UPDATE_HOST
#define ZAN_UPDATE_HOST "aggiornamenti.zan.example"
#endif

namespace {

// The literals everything is composed from. UrlSetFor composes from these and
// not from the globals below, whose construction order against other files'
// static initialisers is unspecified.
const char kYear[] = "2025";
const char kUpdateHost[] = ZAN_UPDATE_HOST;

std::string PlatformName() { return std::string("ZAN") + kYear; }
std::string ServerUrl() { return std::string("http://") + kUpdateHost; }

}  // namespace

// Order matters: each constant is built after those it is composed from.
const std::string g_year = kYear;
const std::string g_platformName = PlatformName();
const std::string g_companyName = "Servizi ZAN";
const std::string g_desktopAppExe = "DesktopApp.exe";
const std::string g_runtimeExeTemplate = "%\\home\\bin\\wrun32.exe";
const std::string g_runtimeBinTemplate = "%\\HOME\\BIN";
const std::string g_desktopAppArchive = "desktopapp.7z";
const std::string g_korvalPackageName = "korval" + g_year + ".7z";
const std::string g_logFileName = "\\DesktopApp_setup_log.txt";

const std::string g_updateHost = kUpdateHost;
const std::string g_updateServerUrl = ServerUrl();
const std::string g_korvalPackageUrl = g_updateServerUrl + "/update/korval/" + g_korvalPackageName;

namespace {

ServerUrlSet MakeSet(const std::string& infoSuffix, const std::string& packageSuffix,
                     const std::string& xmlSuffix, const std::string& titlePrefix) {
  const std::string platform = PlatformName(), server = ServerUrl();
  ServerUrlSet set;
  set.setupPackageName = platform + packageSuffix + ".7z";
  set.setupExeName = platform + packageSuffix + ".exe";
  set.setupInfoUrl = server + "/update/setup_" + platform + infoSuffix + ".txt";
  set.setupPackageUrl = server + "/" + set.setupPackageName;
  set.desktopAppXmlUrl = server + "/update/desktopapp" + xmlSuffix + ".xml";
  set.titlePrefix = titlePrefix;
  return set;
}

}  // namespace

const ServerUrlSet& UrlSetFor(int environment) {
  // Built on first use, so callers in other files' static initialisers are safe.
  static const ServerUrlSet dev = MakeSet("_dev", "_DEV", "_dev", "DEV - ");
  static const ServerUrlSet test = MakeSet("_test", "_TEST", "_test", "TEST - ");
  static const ServerUrlSet production = MakeSet("", "", "", "");
  switch (environment) {
    case EnvDev: return dev;
    case EnvTest: return test;
    default: return production;
  }
}
