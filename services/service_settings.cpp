#include "service_settings.h"

ServiceSettings& GetServiceSettings() {
  static ServiceSettings settings;
  return settings;
}
