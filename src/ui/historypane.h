#pragma once
// The history pane as a view of the history: it follows every reset and
// append, and runs save (with its dialog) and clear. Appends are gathered and
// shown once per pass of the event loop (one insertion, one scroll to the
// newest entry), so a burst costs one layout. The pane holds a bounded amount
// of text: beyond it the oldest part leaves the pane, and its first line says
// so (the history itself keeps everything).

#include <QByteArray>
#include <QObject>

#include <functional>

class QFileDialog;
class QPlainTextEdit;
class QString;
class QWidget;

namespace zeph {
class History;
}

namespace zeph::ui {

class HistoryPane : public QObject {
    Q_OBJECT
public:
    // Characters the pane holds at most; beyond it the oldest quarter goes.
    static constexpr int kShownLimit = 12 * 1024 * 1024;
    // Longer lines are shown as several, so that laying one out stays cheap.
    static constexpr int kLongestShownLine = 1024;

    // dialogParent owns the save dialog, which is made from the definition.
    HistoryPane(QPlainTextEdit* pane, QWidget* dialogParent);

    void attach(History& history);
    // Clearing while a scan runs keeps the scan's notice.
    void setScanRunningQuery(std::function<bool()> query) { m_scanRunning = std::move(query); }
    void setShownLimit(int characters) { m_shownLimit = characters; }

    void save();
    void clear();
    QFileDialog* saveDialog() const { return m_dialog; }

    // Shows what was appended and not yet shown, now.
    void flush();

private:
    void show(const QByteArray& text);
    void dropOldest();

    QPlainTextEdit* m_pane;
    QFileDialog* m_dialog;
    History* m_history = nullptr;
    std::function<bool()> m_scanRunning;
    QByteArray m_pending;
    bool m_flushPending = false;
    bool m_dropNoticeShown = false;
    int m_shownLimit = kShownLimit;
};

// Breaks every line longer than longest into pieces of at most that length,
// after the piece's last blank where it has one.
QString breakLongLines(const QString& text, int longest);

} // namespace zeph::ui
