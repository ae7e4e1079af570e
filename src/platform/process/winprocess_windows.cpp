#include "platform/process/winprocess.h"

#include <QFileInfo>

#include <windows.h>

namespace zeph::platform::win {

QString quoteArgument(const QString& argument)
{
    // Backslashes count only before a quotation mark: there each is doubled
    // and the mark escaped; before the closing mark they are doubled too.
    QString out = QStringLiteral("\"");
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            out += QString(backslashes * 2 + 1, u'\\');
        } else {
            out += QString(backslashes, u'\\');
        }
        backslashes = 0;
        out += c;
    }
    out += QString(backslashes * 2, u'\\');
    out += u'"';
    return out;
}

QString commandLine(const QString& program, const QStringList& arguments)
{
    QString line = quoteArgument(program);
    for (const QString& a : arguments)
        line += u' ' + quoteArgument(a);
    return line;
}

QString systemProgram(const QString& name)
{
    wchar_t dir[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    const QString path = QString::fromWCharArray(dir, int(n)) + u'\\' + name;
    return QFileInfo::exists(path) ? path : QString();
}

int windowsVersion()
{
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto get = ntdll ? reinterpret_cast<RtlGetVersion>(
                                 reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                           : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!get || get(&info) != 0)
        return 0;
    return static_cast<int>(info.dwMajorVersion * 100 + info.dwMinorVersion);
}

} // namespace zeph::platform::win
