#include "app/application.h"
#include "platform/process/spawn.h"

#include <cstdlib>

int main(int argc, char* argv[])
{
#ifndef _WIN32
    // Before anything opens a descriptor. (Windows handles are not small
    // numbers that a later open could land on.)
    if (!zeph::platform::fillStandardStreams())
        return EXIT_FAILURE;
#endif
    return zeph::runApplication(argc, argv);
}
