#include "app/commandline.h"

#include "core/product.h"
#include "discovery/sweeprange.h"

#include <QByteArray>
#include <QString>

#include <cstring>

#ifndef ZEPH_VERSION
#error "ZEPH_VERSION must be defined by the build"
#endif

namespace zeph {

CommandLineAction parseCommandLine(int argc, const char* const argv[])
{
    if (argc < 2 || argv[1] == nullptr)
        return CommandLineAction::Run;
    const char* arg = argv[1];
    if (std::strcmp(arg, "--version") == 0)
        return CommandLineAction::PrintVersion;
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
        return CommandLineAction::PrintHelp;
    return CommandLineAction::Run;
}

int printCommandLineAnswer(CommandLineAction action, std::FILE* out)
{
    switch (action) {
    case CommandLineAction::PrintVersion:
        std::fputs("zeph " ZEPH_VERSION "\n", out);
        break;
    case CommandLineAction::PrintHelp: {
        const QByteArray title = product::kTitle.toString().toUtf8();
        std::fprintf(out,
                     "%s\n"
                     "Usage: zeph [--help | --version]\n"
                     "\n"
                     "Short messages between the computers of a local network. Started\n"
                     "without options, zeph opens its window and lives in the notification\n"
                     "area; one copy runs per desktop.\n"
                     "\n"
                     "  --help, -h   show this help and exit\n"
                     "  --version    show the version and exit\n"
                     "\n"
                     "The computer list covers the subnet of every network card. Subnets\n"
                     "beyond a router (a /%d or longer each) are added in\n"
                     "$XDG_CONFIG_HOME/zeph/zeph.conf (~/.config/zeph/zeph.conf):\n"
                     "\n"
                     "  [scan]\n"
                     "  subnets = 10.5.50.0/24, 10.5.52.0/23\n"
                     "\n"
                     "(on Windows %%LOCALAPPDATA%%\\zeph\\zeph.conf).\n"
                     "\n"
                     "In a Wayland session zeph runs through XWayland when DISPLAY is set,\n"
                     "so that its window keeps its place and can be dragged; with\n"
                     "QT_QPA_PLATFORM=wayland, or without XWayland, it runs natively.\n",
                     title.constData(), kWidestSweptPrefix);
        break;
    }
    case CommandLineAction::Run:
        break;
    }
    return 0;
}

} // namespace zeph
