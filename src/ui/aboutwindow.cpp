#include "ui/aboutwindow.h"

#include "core/product.h"
#include "ui/controls.h"
#include "ui/windowdef.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QUrl>

namespace zeph::ui {

AboutWindow::AboutWindow(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    const WindowDef& def = aboutWindowDef();
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("关于窗口"));
    setWindowTitle(def.title.toString());
    setFixedSize(def.size);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, def.background);
    setPalette(pal);
    setAutoFillBackground(true);

    for (const ControlDef& c : def.controls) {
        QWidget* w = buildControl(c, this);
        if (c.kind == Kind::Hyperlink) {
            m_link = c.text.toString();
            static_cast<FlatLabel*>(w)->setCaption(text::kAboutLinkCaption.toString() + u'(' +
                                                   m_link + u')');
            w->setCursor(Qt::PointingHandCursor);
            w->installEventFilter(this);
        }
    }
    // Created event: fill the about text.
    if (auto* edit = findChild<QPlainTextEdit*>(name::kAboutText.toString())) {
        QString shown = aboutText();
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        edit->setPlainText(shown);
        QTextCursor all(edit->document());
        all.select(QTextCursor::Document);
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        all.mergeBlockFormat(centred);
    }
    if (const QScreen* s = owner ? owner->screen() : screen()) {
        const QRect g = s->geometry();
        move(g.left() + (g.width() - width()) / 2, g.top() + (g.height() - height()) / 2);
    }
}

QString AboutWindow::aboutText()
{
    const QString crlf = QStringLiteral("\r\n");
    return product::kTitle.toString() + crlf + product::kAuthor.toString() + u' ' +
           product::kDate.toString() + u' ' + product::kWebAddress.toString() + crlf +
           product::kDevelopmentTool.toString();
}

QString AboutWindow::shownText() const
{
    const auto* edit = findChild<QPlainTextEdit*>(name::kAboutText.toString());
    return edit ? edit->toPlainText() : QString();
}

void AboutWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        QDesktopServices::openUrl(QUrl(m_link));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zeph::ui
