// Values the application object holds that some services read: filled by the
// wizard, read by the services, so services never include wizard headers.
#pragma once

#include <windows.h>

#include <atomic>

class CSetting;

struct ServiceSettings {
  // Leave folder permissions alone (the "SKIPPERMISSION" switch).
  std::atomic<bool> skipPermission{false};
  // The wizard's property-sheet window; null until the sheet exists.
  std::atomic<HWND> sheetWindow{nullptr};
  // True while the network share discovery runs.
  std::atomic<bool> discoveryRunning{false};
  // The run's settings object once the application object has made it; the
  // discovery thread reads the platform name from it.
  std::atomic<const CSetting*> setting{nullptr};
};

// The one instance, alive for the whole process.
ServiceSettings& GetServiceSettings();
