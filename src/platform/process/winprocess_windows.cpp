#include "platform/process/winprocess.h"

#include "core/logging.h"

#include <QFileInfo>

#include <windows.h>

#include <algorithm>
#include <vector>

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

ProcessOutcome runProcess(const QString& program, const QStringList& arguments, int timeoutMs)
{
    ProcessOutcome o;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return o;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0); // ours alone
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);

    // Only the pipe's write end and NUL reach the child.
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attrBuffer(size);
    auto* attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attrBuffer.data());
    HANDLE handles[2] = {writeEnd, nul};
    const bool listed =
        InitializeProcThreadAttributeList(attrs, 1, 0, &size) &&
        UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                  (nul != INVALID_HANDLE_VALUE ? 2 : 1) * sizeof(HANDLE), nullptr,
                                  nullptr);

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.StartupInfo.wShowWindow = SW_HIDE;
    si.StartupInfo.hStdInput = nul != INVALID_HANDLE_VALUE ? nul : nullptr;
    si.StartupInfo.hStdOutput = writeEnd;
    si.StartupInfo.hStdError = writeEnd;
    si.lpAttributeList = listed ? attrs : nullptr;

    std::wstring app = program.toStdWString();
    std::wstring line = commandLine(program, arguments).toStdWString();
    PROCESS_INFORMATION pi{};
    const DWORD flags =
        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0);
    o.started = CreateProcessW(app.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                               nullptr, &si.StartupInfo, &pi);
    const DWORD startError = GetLastError();
    if (listed)
        DeleteProcThreadAttributeList(attrs);
    CloseHandle(writeEnd); // the child's copy keeps the pipe open while it runs
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!o.started) {
        qCInfo(lcPlatform) << "cannot start" << program << "error" << startError;
        CloseHandle(readEnd);
        return o;
    }

    // The pipe is emptied while the child runs, so that a child printing more
    // than the pipe holds never blocks; only what waits is read, so a
    // grandchild that keeps the pipe open cannot hold us up.
    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buf[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd, buf, std::min<DWORD>(available, sizeof buf), &got, nullptr) ||
                got == 0)
                break;
            o.output.append(buf, qsizetype(got));
        }
    };
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(std::max(timeoutMs, 0));
    for (;;) {
        drain();
        if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0) {
            drain();
            DWORD code = 0;
            if (GetExitCodeProcess(pi.hProcess, &code))
                o.exitCode = code;
            break;
        }
        if (GetTickCount64() >= deadline) {
            qCInfo(lcPlatform) << program << "did not end in time; ended";
            TerminateProcess(pi.hProcess, 1);
            WaitForSingleObject(pi.hProcess, INFINITE);
            break;
        }
    }
    CloseHandle(readEnd);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return o;
}

} // namespace zeph::platform::win
