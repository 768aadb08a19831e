#include "linkselect/LinuxRegistry.h"

// Every platform other than Windows describes its ports the Linux way.
std::unique_ptr<Registry> MakePlatformRegistry() {
    return std::make_unique<LinuxRegistry>();
}
