#pragma once

struct WatchOptions;
class WatchTray;

// Runs the watcher (as `tavon-datalog watch` does) under the QApplication that exists, with
// `tray` listing its events and its Quit stopping it; the watcher's exit status.
int RunWatchInTray(const WatchOptions& options, WatchTray& tray);

// The whole of tavon-watch: its arguments are those of `tavon-datalog watch`, over the [Watch]
// keys of Settings.ini in the working directory. Bad arguments are said on standard error and,
// where there is a screen to say them on, in a message box (a Windows GUI program has no console);
// status 2.
int RunWatchTrayProgram(int argc, char** argv);
