#include "ui/historypane.h"

#include "history/history.h"
#include "ui/texts.h"
#include "ui/widgettext.h"
#include "ui/windowdef.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

namespace zeph::ui {

QString breakLongLines(const QString& text, int longest)
{
    QString out; // stays null while nothing needs breaking
    qsizetype copied = 0;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            lineStart = i + 1;
            continue;
        }
        if (i - lineStart < longest)
            continue;
        // longest characters stand before i: end the line after its last blank
        // in the second half, else between two whole characters.
        qsizetype at = text[i].isLowSurrogate() ? i - 1 : i;
        for (qsizetype j = i - 1; j > lineStart + longest / 2; --j) {
            if (text[j] == u' ') {
                at = j + 1;
                break;
            }
        }
        if (out.isNull())
            out.reserve(text.size() + text.size() / longest + 1);
        out.append(QStringView(text).sliced(copied, at - copied)).append(u'\n');
        copied = at;
        lineStart = at;
    }
    if (out.isNull())
        return text;
    out.append(QStringView(text).sliced(copied));
    return out;
}

void shareBlocks(QString& text, qsizetype blockLength, qsizetype& open)
{
    QChar* const c = text.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (c[i] != u'\n') {
            ++open;
        } else if (open >= blockLength) {
            open = 0; // stays a paragraph break: a new block starts after it
        } else {
            c[i] = QChar::LineSeparator;
            ++open;
        }
    }
}

HistoryPane::HistoryPane(QPlainTextEdit* pane, QWidget* dialogParent)
    : QObject(pane), m_pane(pane),
      m_dialog(new QFileDialog(dialogParent, savedialog::kTitle.toString()))
{
    m_pane->setUndoRedoEnabled(false);
    // A long word wraps at the pane's edge like any other text.
    m_pane->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_dialog->setObjectName(name::kSaveDialog.toString());
    m_dialog->setAcceptMode(QFileDialog::AcceptSave);
    m_dialog->setFileMode(QFileDialog::AnyFile);
    m_dialog->setNameFilter(savedialog::kFilter.toString());
    m_dialog->setDefaultSuffix(savedialog::kDefaultSuffix.toString());
}

void HistoryPane::attach(History& history)
{
    m_history = &history;
    connect(&history, &History::reset, this, &HistoryPane::show);
    connect(&history, &History::appended, this, [this](const QByteArray& text) {
        m_pending.append(text);
        if (m_flushPending)
            return;
        m_flushPending = true;
        QMetaObject::invokeMethod(this, &HistoryPane::flush, Qt::QueuedConnection);
    });
    show(history.text());
}

void HistoryPane::show(const QByteArray& text)
{
    m_pending.clear(); // appended before the reset: replaced by it
    m_dropNoticeShown = false;
    m_openBlock = 0;
    m_pane->setPlainText(shownText(text));
    m_pane->moveCursor(QTextCursor::End);
}

QString HistoryPane::shownText(QByteArrayView gbkText)
{
    QString text = breakLongLines(toMultiLineWidget(gbkText), kLongestShownLine);
    shareBlocks(text, kBlockLength, m_openBlock);
    return text;
}

void HistoryPane::flush()
{
    m_flushPending = false;
    if (m_pending.isEmpty())
        return;
    // Converted as one text: an entry's bytes are never split between pieces.
    const QString text = shownText(m_pending);
    m_pending.truncate(0); // its buffer stays for the next pass
    QTextCursor cursor(m_pane->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    if (m_pane->document()->characterCount() > m_shownLimit)
        dropOldest();
    // At the very end, the user's selection dropped, the view on the newest entry.
    m_pane->moveCursor(QTextCursor::End);
}

void HistoryPane::dropOldest()
{
    QTextDocument* doc = m_pane->document();
    const QTextBlock first = doc->firstBlock();
    const int from = m_dropNoticeShown ? first.next().position() : 0;
    // A quarter at a time: removing many blocks holds the event loop up. The cut
    // is at the start of a line, which may be inside a block.
    const int at = doc->characterCount() - m_shownLimit / 4 * 3;
    const QTextBlock block = doc->findBlock(at);
    int cut = block.position();
    if (at > cut) {
        const qsizetype lineEnd = block.text().lastIndexOf(QChar::LineSeparator, at - cut - 1);
        if (lineEnd >= 0)
            cut += static_cast<int>(lineEnd) + 1;
    }
    if (cut <= from)
        return; // one line holds nearly all of it: nothing older to drop
    QTextCursor cursor(doc);
    cursor.setPosition(from);
    cursor.setPosition(cut, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (!m_dropNoticeShown) {
        cursor.setPosition(0);
        cursor.insertText(texts::kHistoryScrolledOut.toString() + u'\n');
        m_dropNoticeShown = true;
    }
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
