#include "platform/session/singleinstance.h"

#include "core/logging.h"

#include <windows.h>

namespace zeph::platform {
namespace {

// GlobalFindAtom answers 0x120000 for an absent name on some systems; only
// the low 16 bits are an atom.
ATOM findAtom(const std::wstring& name)
{
    const UINT found = GlobalFindAtomW(name.c_str());
    return found == 0x120000u ? ATOM(0) : ATOM(found & 0xFFFF);
}

} // namespace

SingleInstance::SingleInstance(QString key) : m_key(std::move(key)) {}

SingleInstance::~SingleInstance()
{
    release();
}

QString SingleInstance::atomName() const
{
    return m_key + QStringLiteral(".net.tarvo");
}

bool SingleInstance::acquire()
{
    if (m_mutex)
        return true;
    const std::wstring atom = atomName().toStdWString();
    // The mutex decides: creating it is atomic, and it lives exactly as long as
    // a process holds it, however that process ends.
    const std::wstring mutexName = L"Local\\" + atom;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
    if (!mutex) {
        qCWarning(lcPlatform) << "cannot create the single-instance mutex, error" << GetLastError();
        return true; // no marker at all: run rather than refuse
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    // The atom, for whatever looks for it. One found now has no mutex beside
    // it: a copy that crashed left it. Its references go, then ours is added.
    for (int i = 0; i < 0x10000; ++i) {
        const ATOM stale = findAtom(atom);
        if (stale == 0)
            break;
        if (i == 0)
            qCInfo(lcPlatform) << "taking over the atom left by a copy that ended abnormally";
        SetLastError(ERROR_SUCCESS);
        GlobalDeleteAtom(stale);
        if (GetLastError() != ERROR_SUCCESS)
            break;
    }
    m_atom = GlobalAddAtomW(atom.c_str());
    m_mutex = mutex;
    return true;
}

void SingleInstance::release()
{
    if (m_atom != 0) {
        GlobalDeleteAtom(m_atom);
        m_atom = 0;
    }
    if (m_mutex) {
        CloseHandle(static_cast<HANDLE>(m_mutex));
        m_mutex = nullptr;
    }
}

} // namespace zeph::platform
