#include "platform/session/autostart.h"

#include "core/logging.h"
#include "core/product.h"

#include <QDir>

#include <windows.h>

namespace zeph::platform {

QString runKeyValue(const QString& program)
{
    // Quoted, so that a path with blanks ("C:\Program Files\...") is not read
    // as a program "C:\Program" with arguments. A path holds no '"' on Windows.
    return u'"' + QDir::toNativeSeparators(program) + u'"';
}

bool registerAutostart(const QString& program)
{
    const std::wstring key = kRunKey.toString().toStdWString();
    const std::wstring name = product::kAppId.toString().toStdWString();
    const std::wstring value = runKeyValue(program).toStdWString();
    HKEY run = nullptr;
    LSTATUS rc = RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                 nullptr, &run, nullptr);
    if (rc == ERROR_SUCCESS) {
        // The byte count includes the terminating NUL.
        rc = RegSetValueExW(run, name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            DWORD((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(run);
    }
    if (rc != ERROR_SUCCESS)
        qCInfo(lcPlatform) << "autostart value not written, error" << rc;
    return rc == ERROR_SUCCESS;
}

} // namespace zeph::platform
