#pragma once
// Whether a Windows test runs under Wine, for the few behaviours Wine does not
// reproduce (checked on Windows itself).

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace zeph::test {

inline bool runningUnderWine()
{
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

} // namespace zeph::test
