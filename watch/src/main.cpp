// tavon-watch: `tavon-datalog watch` with an icon in the notification area, for the Startup folder.
#include "watch/WatchTrayRun.h"

int main(int argc, char** argv) {
    return RunWatchTrayProgram(argc, argv);
}
