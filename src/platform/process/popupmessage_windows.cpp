#include "platform/process/popupmessage.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "platform/process/childprocess.h"
#include "platform/process/winprocess.h"

namespace zeph::platform {
namespace {

QString netProgram()
{
    return win::systemProgram(QStringLiteral("net.exe"));
}

} // namespace

bool popupMessageAvailable()
{
    // Vista removed the messenger service: net send only prints its usage there.
    const int version = win::windowsVersion();
    return version > 0 && version < 600 && !netProgram().isEmpty();
}

PopupResult sendPopupMessage(QByteArrayView target, std::optional<Ipv4Address> address,
                             QByteArrayView text, const PopupOptions& options)
{
    Q_UNUSED(address); // net send finds the computer by its name itself
    PopupResult result;
    if (!popupTargetAcceptable(target) || !popupTextAcceptable(text)) {
        qCWarning(lcPlatform, "pop-up message refused: unusable target or text");
        return result;
    }
    // net.exe itself, never through cmd: each argument is quoted, so no
    // operator or quotation mark in the target or the text changes what runs.
    // The options' program is the Linux tool's; here it is net.exe unless a
    // test names another program by its full path.
    const bool ownProgram = options.program.contains(u'\\') || options.program.contains(u'/');
    const QString program = ownProgram ? options.program : netProgram();
    if (program.isEmpty()) {
        qCInfo(lcPlatform, "no net.exe: the messenger service is not available");
        return result;
    }
    QStringList args = options.extraArguments;
    args << QStringLiteral("send") << gbk::toUnicode(target) << gbk::toUnicode(text);
    const ChildOutcome o =
        runChild({program, args, {}, {}}, std::chrono::milliseconds(options.timeoutMs));
    result.output = o.output;
    // Windows without the messenger service (Vista and later) prints its usage
    // and fails: that, like an error message, is a failure.
    result.delivered = o.started && o.exitCode == 0 && !popupOutputReportsError(o.output);
    if (!result.delivered)
        qCInfo(lcPlatform) << "pop-up message to" << target << "not delivered; exit"
                           << o.exitCode.value_or(-1) << "output" << o.output;
    return result;
}

} // namespace zeph::platform
