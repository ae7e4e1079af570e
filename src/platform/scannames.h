#pragma once
// The names the last scan listed, with the address each came from, so that a
// name the resolver does not know still resolves to the computer that the list
// shows under it. Safe to use from any thread.

#include <QByteArray>
#include <QByteArrayView>

namespace zeph::platform {

// A scan is starting: forget what the previous one learned.
void forgetScanNames();

// The scan listed name for the dotted address.
void rememberScanName(QByteArrayView name, QByteArrayView dotted);

// The address the last scan listed name for (ASCII letters in either case;
// the first one if it listed the name twice); empty if it did not list it.
QByteArray scanNameAddress(QByteArrayView name);

} // namespace zeph::platform
