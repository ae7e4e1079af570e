#pragma once
// A MessageForm that records, in order, what the messenger-service handler does
// to the window, so tests can check the button and cursor sequence.

#include "messaging/messageform.h"

#include <QStringList>

namespace zeph::test {

struct RecordingForm : MessageForm {
    QByteArray targetText;
    QByteArray contentText;
    QByteArray signatureText;
    bool buttonEnabled = true;
    QStringList events;

    QByteArray target() const override { return targetText; }
    void setTarget(const QByteArray& text) override { targetText = text; }
    QByteArray content() const override { return contentText; }
    void setContent(const QByteArray& text) override
    {
        contentText = text;
        events << QStringLiteral("content set");
    }
    QByteArray signature() const override { return signatureText; }
    QList<QByteArray> computers() const override { return {}; }
    void showMainWindow() override { events << QStringLiteral("shown"); }
    void setMessengerButtonEnabled(bool enabled) override
    {
        buttonEnabled = enabled;
        events << (enabled ? QStringLiteral("button on") : QStringLiteral("button off"));
    }
    void waitCursorOn() override { events << QStringLiteral("cursor wait"); }
    void restoreCursor() override { events << QStringLiteral("cursor restore"); }
};

} // namespace zeph::test
