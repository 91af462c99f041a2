#include "constants.h"

#ifndef ZAN_UPDATE_HOST
#define ZAN_UPDATE_HOST "aggiornamenti.zan.example"
#endif

// Order matters: each constant is built after those it is composed from.
const std::string g_year = "2025";
const std::string g_platformName = "ZAN" + g_year;
const std::string g_companyName = "Servizi ZAN";
const std::string g_desktopAppExe = "DesktopApp.exe";
const std::string g_runtimeExeTemplate = "%\\home\\bin\\wrun32.exe";
const std::string g_runtimeBinTemplate = "%\\HOME\\BIN";
const std::string g_desktopAppArchive = "desktopapp.7z";
const std::string g_korvalPackageName = "korval" + g_year + ".7z";
const std::string g_logFileName = "\\DesktopApp_setup_log.txt";

const std::string g_updateHost = ZAN_UPDATE_HOST;
const std::string g_updateServerUrl = "http://" + g_updateHost;
const std::string g_korvalPackageUrl = g_updateServerUrl + "/update/korval/" + g_korvalPackageName;

namespace {

ServerUrlSet MakeSet(const std::string& infoSuffix, const std::string& packageSuffix,
                     const std::string& xmlSuffix, const std::string& titlePrefix) {
  ServerUrlSet set;
  set.setupPackageName = g_platformName + packageSuffix + ".7z";
  set.setupExeName = g_platformName + packageSuffix + ".exe";
  set.setupInfoUrl = g_updateServerUrl + "/update/setup_" + g_platformName + infoSuffix + ".txt";
  set.setupPackageUrl = g_updateServerUrl + "/" + set.setupPackageName;
  set.desktopAppXmlUrl = g_updateServerUrl + "/update/desktopapp" + xmlSuffix + ".xml";
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
