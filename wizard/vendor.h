// The vendor's addresses and the setup's own version, set at build time.
#pragma once

// The installation guide the Help buttons and links open.
extern const char kInstallationGuideUrl[];
// The platform's web page, named in the self-update's failure box.
extern const char kPlatformPageUrl[];
// The page where the setup can be downloaded, named in the share success box.
extern const char kSetupDownloadUrl[];
// Microsoft's download page of the .NET Framework 4.8 web installer.
extern const char kNetFrameworkDownloadUrl[];
