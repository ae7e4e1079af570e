#pragma once
// A MessageForm of plain members that also records, in order, what the
// handlers do to the window (button, cursor, content, showing), so tests can
// check both the end state and the sequence.

#include "messaging/messageform.h"

#include <QStringList>

namespace zeph::test {

struct RecordingForm : MessageForm {
    QByteArray targetText;
    QByteArray contentText;
    QByteArray signatureText;
    QList<Listed> listed;
    std::optional<Ipv4Address> chosen;
    QList<char32_t> uncarriedCharacters; // what the boxes held that GBK cannot carry
    bool buttonEnabled = true;
    int shown = 0;
    QByteArrayList lastArrival; // sender and first line of the last one shown
    int contentWrites = 0;
    QStringList events;

    QByteArray target() const override { return targetText; }
    void setTarget(const QByteArray& text) override { targetText = text; }
    QByteArray content() const override { return contentText; }
    void setContent(const QByteArray& text) override
    {
        contentText = text;
        ++contentWrites;
        events << QStringLiteral("content set");
    }
    QByteArray signature() const override { return signatureText; }
    QList<Listed> computers() const override { return listed; }
    std::optional<Ipv4Address> chosenAddress() const override { return chosen; }
    QList<char32_t> uncarried() const override { return uncarriedCharacters; }
    void showArrival(const QByteArray& sender, const QByteArray& firstLine) override
    {
        ++shown;
        lastArrival = {sender, firstLine};
        events << QStringLiteral("shown");
    }
    void setMessengerButtonEnabled(bool enabled) override
    {
        buttonEnabled = enabled;
        events << (enabled ? QStringLiteral("button on") : QStringLiteral("button off"));
    }
    void waitCursorOn() override { events << QStringLiteral("cursor wait"); }
    void restoreCursor() override { events << QStringLiteral("cursor restore"); }
};

} // namespace zeph::test
