#pragma once

#include <string>

// The settings file of the watcher that starts by itself: Settings.ini in the folder its service
// starts it in. On Linux that is the home folder (the systemd user unit's WorkingDirectory=%h),
// on Windows "Documents\Tavon Datalogging" (the Startup shortcut's start folder, where the
// program's own Start-menu entry starts too). A watcher reads the Settings.ini of the folder it
// runs in, so one started by hand elsewhere reads that folder's.
std::string WatchSettingsPath();
