// The configuration record: defaults and the switches' reduction (portable).
#include "spd/config.h"

#include "tessel/tsl-core.h"

static const char kSrc[] = "config";

int ConfigDefaults(AppConfig* config) {
    TSL_NOT_NULL(kSrc, config);
    config->dialogX = 20;
    config->dialogY = 20;
    config->dialogW = 0;
    config->dialogH = 0;
    config->alwaysOnTop = 0;
    config->trayMinimize = 1;
    config->askForReboot = 1;
    config->startMinimized = 0;
    return 1;
}

int ConfigCreate(AppConfig** holder) {
    TSL_NOT_NULL(kSrc, holder);
    AppConfig* config = TSL_NEW(AppConfig, kSrc);
    ConfigDefaults(config);
    *holder = config;
    return 1;
}

int ConfigDestroy(AppConfig** holder) {
    TSL_NOT_NULL(kSrc, holder);
    TSL_NOT_NULL(kSrc, *holder);
    TSL_DELETE(*holder, kSrc);
    return 1;
}

int32_t ConfigSwitch(int32_t stored) {
    return stored >= 1 ? 1 : 0;
}

int ConfigReduceSwitches(AppConfig* config) {
    TSL_NOT_NULL(kSrc, config);
    config->alwaysOnTop = ConfigSwitch(config->alwaysOnTop);
    config->trayMinimize = ConfigSwitch(config->trayMinimize);
    config->askForReboot = ConfigSwitch(config->askForReboot);
    config->startMinimized = ConfigSwitch(config->startMinimized);
    return 1;
}
