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
    // Characters the pane holds at most; beyond it the oldest quarter goes. The
    // document compacts its text now and then by copying all of it into a fresh
    // buffer, so this bounds that pause too.
    static constexpr int kShownLimit = 2 * 1024 * 1024;
    // Longer lines are shown as several, so that laying one out stays cheap.
    static constexpr int kLongestShownLine = 1024;
    // Lines share a block of the pane's document until it holds about this many
    // characters: inserting a block costs far more than inserting a line, and a
    // block this long is still laid out quickly.
    static constexpr int kBlockLength = 2 * kLongestShownLine;

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
    // The GBK text as the pane holds it.
    QString shownText(QByteArrayView gbkText);
    void dropOldest();

    QPlainTextEdit* m_pane;
    QFileDialog* m_dialog;
    History* m_history = nullptr;
    std::function<bool()> m_scanRunning;
    QByteArray m_pending;
    bool m_flushPending = false;
    bool m_dropNoticeShown = false;
    qsizetype m_openBlock = 0; // characters in the document's last block
    int m_shownLimit = kShownLimit;
};

// Breaks every line longer than longest into pieces of at most that length,
// after the piece's last blank where it has one.
QString breakLongLines(const QString& text, int longest);

// Turns line breaks into line separators (shown alike, and read back as line
// breaks by toPlainText) while the block they are in holds fewer than
// blockLength characters; the others stay and start a new block. open is the
// length of the block that text continues, and is updated.
void shareBlocks(QString& text, qsizetype blockLength, qsizetype& open);

} // namespace zeph::ui
