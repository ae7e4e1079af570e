#pragma once
// The message history: the program's only log. Its GBK text is the history;
// the pane on screen is a view that follows the reset() and appended() signals.

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

namespace zeph {

class History : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    static QByteArray banner();    // the two welcome lines, no line break after the second
    static QByteArray separator(); // the 56-dash first line of every message record
    static QByteArray scanRunningText();

    const QByteArray& text() const { return m_text; }

    // Start-up: the history becomes the welcome banner.
    void initialise();

    // Every entry starts with CR LF and is appended whole.
    void appendRaw(QByteArrayView text);
    void appendNotice(QByteArrayView text); // ★★★text★★★
    void appendError(QByteArrayView text);  // ×××text×××
    void appendLine(QByteArrayView text);
    void appendSeparator();

    // Banner + CR LF; while a scan runs its notice stands on the third line.
    void clear(bool scanRunning);

    // Writes exactly the current text to path, replacing the file only once the
    // whole text is on disk, then appends the success or the error entry.
    bool save(const QString& path);

Q_SIGNALS:
    void reset(const QByteArray& text);
    void appended(const QByteArray& text);

private:
    void setText(const QByteArray& text);
    void appendFramed(QByteArrayView frame, QByteArrayView text);

    QByteArray m_text;
};

} // namespace zeph
