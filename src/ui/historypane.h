#pragma once
// The history pane as a view of the history: it follows every reset and
// append, keeps the newest entry in sight (scrolling once per event-loop pass,
// so a burst lays the pane out once), and runs save (with its dialog) and clear.

#include <QObject>

#include <functional>

class QFileDialog;
class QPlainTextEdit;
class QWidget;

namespace zeph {
class History;
}

namespace zeph::ui {

class HistoryPane : public QObject {
    Q_OBJECT
public:
    // dialogParent owns the save dialog, which is made from the definition.
    HistoryPane(QPlainTextEdit* pane, QWidget* dialogParent);

    void attach(History& history);
    // Clearing while a scan runs keeps the scan's notice.
    void setScanRunningQuery(std::function<bool()> query) { m_scanRunning = std::move(query); }

    void save();
    void clear();
    QFileDialog* saveDialog() const { return m_dialog; }

private:
    void scrollToEndSoon();

    QPlainTextEdit* m_pane;
    QFileDialog* m_dialog;
    History* m_history = nullptr;
    std::function<bool()> m_scanRunning;
    bool m_scrollPending = false;
};

} // namespace zeph::ui
