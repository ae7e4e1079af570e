#pragma once
// Pop-up messages for computers that run no copy of the program: the Windows
// messenger service, or a Samba server that accepts pop-up messages. On Linux
// smbclient delivers them over NetBIOS (TCP port 139).

#include "core/ipv4.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

namespace zeph::platform {

// True when the delivering tool is there: on Linux smbclient in an absolute
// folder of the PATH; on Windows net.exe with the messenger service behind it,
// which only the NT family before Vista has.
bool popupMessageAvailable();

// The longest computer name the tool can address (NetBIOS names hold 15 bytes).
inline constexpr qsizetype kMaxPopupTargetBytes = 15;

// True when target can go to the tool as it stands: 1 to 15 bytes, with no
// control byte and no '#' (the tool would read what follows as a name type),
// no '*' and not starting with '/' or '\\': net send reads "*", "/USERS" and
// "/DOMAIN:x" as a broadcast to the workgroup or domain, quoted or not, and
// no computer name holds any of these.
bool popupTargetAcceptable(QByteArrayView target);

// True when text can go to the tool as it stands: no zero byte, and no '/'
// first (net send may read it as a switch).
bool popupTextAcceptable(QByteArrayView text);
// text, with a blank before a leading '/', so that it stays text.
QByteArray popupTextAsText(QByteArrayView text);

struct PopupOptions {
    // An absolute path, or a name looked for in the absolute folders of PATH.
    QString program = QStringLiteral("smbclient");
    // Put before the message options; tests point smbclient at their own
    // configuration here.
    QStringList extraArguments;
    // The UI thread blocks for at most this long; then the tool is ended.
    int timeoutMs = 30000;
};

struct PopupResult {
    bool delivered = false;
    QByteArray output; // what the tool printed, standard output and error merged
};

// The longest text the tool passes on whole (its buffer holds 1600 bytes with
// the terminator, line breaks counted as CR LF); longer texts are cut by it.
inline constexpr qsizetype kMaxPopupTextBytes = 1598;

// Sends text (GBK, CR LF line breaks) as a pop-up message to the computer called
// target (GBK). address, when given, is the address to connect to; without it
// the tool looks the name up itself (NetBIOS). Runs the tool directly, never
// through a shell, with the text on its standard input and an environment of
// its own (nothing of ours, such as LIBSMB_PROG, reaches it). A target that
// popupTargetAcceptable refuses, or a text popupTextAcceptable refuses, is
// never sent.
// Delivered only when the tool started, exited 0 within the time limit, printed
// something and its output reports no error.
PopupResult sendPopupMessage(QByteArrayView target, std::optional<Ipv4Address> address,
                             QByteArrayView text, const PopupOptions& options = {});

// True when the tool's output reports an error: an NT status other than
// NT_STATUS_OK, or the character "错" (matched only where a GBK character
// begins, for localised output).
bool popupOutputReportsError(QByteArrayView output);

} // namespace zeph::platform
