#include "platform/process/popupmessage.h"

#include "core/gbk.h"
#include "core/logging.h"

#include "platform/process/childprocess.h"

#include <QFile>

#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

namespace zeph::platform {
namespace {

// smbclient reads the message in its "unix charset" and converts it to the
// "dos charset" in chunks of 127 bytes. With both set to code page 936 our GBK
// bytes go through untouched; a UTF-8 stream would be cut inside characters at
// the chunk borders and arrive garbled. The target name goes on the command line
// in the same charset, as raw GBK bytes, which is why the tool is started with
// posix_spawn (byte arguments) rather than QProcess (UTF-8 arguments).
constexpr const char* kUnixCharset = "--option=unix charset=CP936";
constexpr const char* kDosCharset = "--option=dos charset=CP936";

// The tool sees only these. The C locale keeps its reports in English, where
// the NT status names are; the charsets come from the options above.
const QList<QByteArray>& toolEnvironment()
{
    static const QList<QByteArray> environment = {"PATH=/usr/bin:/bin", "LANG=C", "LC_ALL=C"};
    return environment;
}

bool isExecutableFile(const QByteArray& path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.constData(), X_OK) == 0;
}

// The absolute path of program, found now so that nothing is looked up when it
// starts. Relative folders of PATH (an empty entry means the current folder)
// are skipped: a file dropped in the working folder must not be run.
QByteArray findTool(const QString& program)
{
    const QByteArray name = QFile::encodeName(program);
    if (name.contains('/'))
        return name.startsWith('/') && isExecutableFile(name) ? name : QByteArray();
    if (name.isEmpty())
        return {};
    const QByteArray path = qEnvironmentVariableIsSet("PATH") ? qgetenv("PATH") : "/usr/bin:/bin";
    for (const QByteArray& dir : path.split(':')) {
        if (!dir.startsWith('/'))
            continue;
        QByteArray candidate = dir + '/' + name;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

} // namespace

bool popupMessageAvailable()
{
    return !findTool(PopupOptions{}.program).isEmpty();
}

PopupResult sendPopupMessage(QByteArrayView target, std::optional<Ipv4Address> address,
                             QByteArrayView text, const PopupOptions& options)
{
    PopupResult result;
    if (!popupTargetAcceptable(target) || !popupTextAcceptable(text)) {
        qCWarning(lcPlatform, "pop-up message refused: unusable target or text");
        return result;
    }
    // smbclient turns every LF into CR LF itself; CR LF from us would arrive
    // as CR CR LF.
    const QByteArray input = gbk::crLfToLf(text);
    if (input.size() + input.count('\n') > kMaxPopupTextBytes) {
        qCWarning(lcPlatform, "pop-up message refused: %lld bytes, the tool passes at most %lld",
                  qlonglong(input.size() + input.count('\n')), qlonglong(kMaxPopupTextBytes));
        return result;
    }

    QList<QByteArray> args;
    for (const QString& extra : options.extraArguments)
        args.append(QFile::encodeName(extra));
    args.append(kUnixCharset);
    args.append(kDosCharset);
    // One argument each: a target that begins with "-" stays a name.
    args.append("--message=" + target.toByteArray());
    if (address)
        args.append("--ip-address=" + QByteArray::fromStdString(address->toString()));

    const QByteArray tool = findTool(options.program);
    if (tool.isEmpty()) {
        qCWarning(lcPlatform) << "pop-up message not sent:" << options.program << "not found";
        return result;
    }
    const ChildOutcome o = runChild({tool, args, input, toolEnvironment()},
                                    std::chrono::milliseconds(options.timeoutMs));
    result.output = o.output;
    result.delivered =
        o.started && o.exitCode == 0 && !o.output.isEmpty() && !popupOutputReportsError(o.output);
    if (!result.delivered)
        qCInfo(lcPlatform) << "pop-up message to" << target << "not delivered; exit"
                           << o.exitCode.value_or(-1) << "output" << o.output;
    return result;
}

} // namespace zeph::platform
