#include "app/application.h"
#include "platform/spawn.h"

#include <cstdlib>

int main(int argc, char* argv[])
{
    // Before anything opens a descriptor.
    if (!zeph::platform::fillStandardStreams())
        return EXIT_FAILURE;
    return zeph::runApplication(argc, argv);
}
