#include "vendor.h"

#ifndef ZAN_GUIDE_URL
#define ZAN_GUIDE_URL "https://www.zan.example/guida-installazione"
#endif
#ifndef ZAN_PLATFORM_URL
#define ZAN_PLATFORM_URL "https://www.zan.example/piattaforma"
#endif
#ifndef ZAN_DOWNLOAD_URL
#define ZAN_DOWNLOAD_URL "https://www.zan.example/setup"
#endif

const char kInstallationGuideUrl[] = ZAN_GUIDE_URL;
const char kPlatformPageUrl[] = ZAN_PLATFORM_URL;
const char kSetupDownloadUrl[] = ZAN_DOWNLOAD_URL;
const char kNetFrameworkDownloadUrl[] =
    "https://dotnet.microsoft.com/download/dotnet-framework/thank-you/net48-web-installer";
