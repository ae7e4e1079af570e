#pragma once
// Shared by the messaging tests: a MessageForm made of plain members, and the
// guard that keeps every socket test inside a private, loopback-only namespace.

#include "messaging/messageform.h"

#include <QNetworkInterface>

namespace zeph::test {

struct FakeForm : MessageForm {
    QByteArray targetText;
    QByteArray contentText;
    QByteArray signatureText;
    QList<QByteArray> computerNames;
    int shown = 0;
    int contentWrites = 0;

    QByteArray target() const override { return targetText; }
    void setTarget(const QByteArray& text) override { targetText = text; }
    QByteArray content() const override { return contentText; }
    void setContent(const QByteArray& text) override
    {
        contentText = text;
        ++contentWrites;
    }
    QByteArray signature() const override { return signatureText; }
    QList<QByteArray> computers() const override { return computerNames; }
    void showMainWindow() override { ++shown; }
    void setMessengerButtonEnabled(bool) override {}
    void waitCursorOn() override {}
    void restoreCursor() override {}
};

// True when every interface in reach is a loopback one: the test runs in its
// own network namespace and nothing it sends can leave the machine.
inline bool onlyLoopbackInReach()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& i : interfaces) {
        if (!i.flags().testFlag(QNetworkInterface::IsLoopBack) &&
            i.flags().testFlag(QNetworkInterface::IsUp))
            return false;
    }
    return true;
}

} // namespace zeph::test
