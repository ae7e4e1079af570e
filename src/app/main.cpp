#include "app/application.h"

int main(int argc, char* argv[])
{
    return zeph::runApplication(argc, argv);
}
