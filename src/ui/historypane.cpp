#include "ui/historypane.h"

#include "history/history.h"
#include "ui/widgettext.h"
#include "ui/windowdef.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace zeph::ui {

HistoryPane::HistoryPane(QPlainTextEdit* pane, QWidget* dialogParent)
    : QObject(pane), m_pane(pane),
      m_dialog(new QFileDialog(dialogParent, savedialog::kTitle.toString()))
{
    m_pane->setUndoRedoEnabled(false);
    m_dialog->setObjectName(name::kSaveDialog.toString());
    m_dialog->setAcceptMode(QFileDialog::AcceptSave);
    m_dialog->setFileMode(QFileDialog::AnyFile);
    m_dialog->setNameFilter(savedialog::kFilter.toString());
    m_dialog->setDefaultSuffix(savedialog::kDefaultSuffix.toString());
}

void HistoryPane::attach(History& history)
{
    m_history = &history;
    connect(&history, &History::reset, this, [this](const QByteArray& text) {
        m_pane->setPlainText(toMultiLineWidget(text));
        m_pane->moveCursor(QTextCursor::End);
    });
    connect(&history, &History::appended, this, [this](const QByteArray& text) {
        // At the very end, the user's selection dropped, the view on the newest entry.
        QTextCursor cursor(m_pane->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(toMultiLineWidget(text));
        scrollToEndSoon();
    });
    m_pane->setPlainText(toMultiLineWidget(history.text()));
}

void HistoryPane::scrollToEndSoon()
{
    if (m_scrollPending)
        return;
    m_scrollPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_scrollPending = false;
            m_pane->moveCursor(QTextCursor::End);
        },
        Qt::QueuedConnection);
}

void HistoryPane::save()
{
    if (!m_history || m_dialog->exec() != QDialog::Accepted)
        return;
    const QStringList chosen = m_dialog->selectedFiles();
    if (chosen.isEmpty())
        return;
    m_dialog->selectFile(chosen.first()); // the next dialog of this run starts here
    m_history->save(chosen.first());
}

void HistoryPane::clear()
{
    if (m_history)
        m_history->clear(m_scanRunning && m_scanRunning());
}

} // namespace zeph::ui
