// Compiled-in names of the platform, its packages and files, and the URL sets of
// the three update-server environments. Everything that carries the platform
// year is composed from g_year.
#pragma once

#include <string>

extern const std::string g_year;
extern const std::string g_platformName;
extern const std::string g_companyName;
extern const std::string g_desktopAppExe;
extern const std::string g_runtimeExeTemplate;
extern const std::string g_runtimeBinTemplate;
extern const std::string g_desktopAppArchive;
extern const std::string g_korvalPackageName;
extern const std::string g_logFileName;

// Host of the update server, the same in every environment; set at build time.
extern const std::string g_updateHost;
// "http://" + host: the root to which every path below is appended.
extern const std::string g_updateServerUrl;
// The Korval package's URL, on the production server whatever the environment.
extern const std::string g_korvalPackageUrl;

enum ServerEnvironment { EnvDev = 0, EnvTest = 1, EnvProduction = 2 };

// The environment-dependent names and URLs; the application object copies
// one row of them once the switches are read.
struct ServerUrlSet {
  std::string setupInfoUrl;      // g_setupInfoUrl
  std::string setupPackageUrl;   // g_setupPackageUrl
  std::string desktopAppXmlUrl;  // g_desktopAppXmlUrl
  std::string setupPackageName;  // g_setupPackageName
  std::string setupExeName;      // g_setupExeName
  std::string titlePrefix;       // "DEV - ", "TEST - " or empty
};

// The set of an environment; anything but EnvDev and EnvTest is production.
const ServerUrlSet& UrlSetFor(int environment);
