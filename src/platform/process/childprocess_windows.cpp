#include "platform/process/childprocess.h"

#include "core/logging.h"
#include "platform/process/winprocess.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace zeph::platform {
namespace {

// The handles a child inherits: the pipe's write end for its output and NUL
// for its input, and only these (a handle list, not everything inheritable).
class ChildHandles {
public:
    ChildHandles()
    {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        if (!CreatePipe(&m_readEnd, &m_writeEnd, &inherit, 0)) {
            m_readEnd = m_writeEnd = nullptr;
            return;
        }
        SetHandleInformation(m_readEnd, HANDLE_FLAG_INHERIT, 0); // ours alone
        m_nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_attrBuffer.resize(size);
        auto* attrs = attributes();
        m_handles[0] = m_writeEnd;
        m_handles[1] = m_nul;
        const SIZE_T count = m_nul != INVALID_HANDLE_VALUE ? 2 : 1;
        m_listed = InitializeProcThreadAttributeList(attrs, 1, 0, &size) &&
                   UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_handles,
                                             count * sizeof(HANDLE), nullptr, nullptr);
    }
    ~ChildHandles()
    {
        if (m_listed)
            DeleteProcThreadAttributeList(attributes());
        closeChildEnds();
        if (m_readEnd)
            CloseHandle(m_readEnd);
    }
    ChildHandles(const ChildHandles&) = delete;
    ChildHandles& operator=(const ChildHandles&) = delete;

    bool ok() const { return m_readEnd != nullptr; }
    HANDLE readEnd() const { return m_readEnd; }

    void fill(STARTUPINFOEXW& si)
    {
        si.StartupInfo.cb = sizeof si;
        si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
        si.StartupInfo.wShowWindow = SW_HIDE;
        si.StartupInfo.hStdInput = m_nul != INVALID_HANDLE_VALUE ? m_nul : nullptr;
        si.StartupInfo.hStdOutput = m_writeEnd;
        si.StartupInfo.hStdError = m_writeEnd;
        si.lpAttributeList = m_listed ? attributes() : nullptr;
    }
    DWORD creationFlags() const
    {
        return CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT |
               (m_listed ? EXTENDED_STARTUPINFO_PRESENT : 0);
    }
    // Once the child runs: its copies keep the pipe open while it runs.
    void closeChildEnds()
    {
        if (m_writeEnd)
            CloseHandle(m_writeEnd);
        if (m_nul != INVALID_HANDLE_VALUE)
            CloseHandle(m_nul);
        m_writeEnd = nullptr;
        m_nul = INVALID_HANDLE_VALUE;
    }

private:
    LPPROC_THREAD_ATTRIBUTE_LIST attributes()
    {
        return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_attrBuffer.data());
    }

    HANDLE m_readEnd = nullptr;
    HANDLE m_writeEnd = nullptr;
    HANDLE m_nul = INVALID_HANDLE_VALUE;
    HANDLE m_handles[2] = {};
    std::vector<char> m_attrBuffer;
    bool m_listed = false;
};

// Empties the pipe of what waits in it, so that a child printing more than
// the pipe holds never blocks; only what waits is read, so a grandchild that
// keeps the pipe open cannot hold us up.
void drain(HANDLE readEnd, QByteArray& output)
{
    DWORD available = 0;
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buf[4096];
        DWORD got = 0;
        if (!ReadFile(readEnd, buf, std::min<DWORD>(available, sizeof buf), &got, nullptr) ||
            got == 0)
            return;
        output.append(buf, qsizetype(got));
    }
}

// Reads while the child runs; ends it at the deadline.
void awaitChild(const QString& program, HANDLE process, HANDLE readEnd, ULONGLONG deadline,
                ChildOutcome& o)
{
    for (;;) {
        drain(readEnd, o.output);
        if (WaitForSingleObject(process, 10) == WAIT_OBJECT_0) {
            drain(readEnd, o.output);
            DWORD code = 0;
            if (GetExitCodeProcess(process, &code))
                o.exitCode = long(code);
            return;
        }
        if (GetTickCount64() >= deadline) {
            qCInfo(lcPlatform) << program << "did not end in time; ended";
            TerminateProcess(process, 1);
            WaitForSingleObject(process, INFINITE);
            return;
        }
    }
}

} // namespace

ChildOutcome runChild(const ChildCommand& command, std::chrono::milliseconds timeout)
{
    ChildOutcome o;
    ChildHandles handles;
    if (!handles.ok())
        return o;
    STARTUPINFOEXW si{};
    handles.fill(si);
    std::wstring app = command.program.toStdWString();
    std::wstring line = win::commandLine(command.program, command.arguments).toStdWString();
    PROCESS_INFORMATION pi{};
    o.started = CreateProcessW(app.c_str(), line.data(), nullptr, nullptr, TRUE,
                               handles.creationFlags(), nullptr, nullptr, &si.StartupInfo, &pi);
    const DWORD startError = GetLastError();
    handles.closeChildEnds();
    if (!o.started) {
        qCInfo(lcPlatform) << "cannot start" << command.program << "error" << startError;
        return o;
    }
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(std::max<qint64>(timeout.count(), 0));
    awaitChild(command.program, pi.hProcess, handles.readEnd(), deadline, o);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return o;
}

} // namespace zeph::platform
