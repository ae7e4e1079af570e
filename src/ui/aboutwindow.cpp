#include "ui/aboutwindow.h"

#include "core/product.h"
#include "ui/controls.h"
#include "ui/texts.h"
#include "ui/widgettext.h"
#include "ui/windowdef.h"

#include <QDesktopServices>
#include <QPlainTextEdit>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QUrl>
#include <QWindow>

namespace zeph::ui {
namespace {

DefinedWindow::Options aboutWindowOptions()
{
    DefinedWindow::Options o;
    o.flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
              Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    return o;
}

} // namespace

AboutWindow::AboutWindow(QWidget* owner)
    : DefinedWindow(aboutWindowDef(), aboutWindowOptions(), owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("关于窗口"));

    auto* link = control<FlatLabel>(name::kAboutLink);
    const QString address = link->caption();
    link->setCaption(texts::kAboutLinkCaption.toString() + u'(' + address + u')');
    link->setCursor(Qt::PointingHandCursor);
    connect(this, &DefinedWindow::released, this, [address](const QString& name) {
        if (name == name::kAboutLink)
            QDesktopServices::openUrl(QUrl(address));
    });
    connect(this, &DefinedWindow::escapePressed, this, &QWidget::close);

    auto* edit = control<QPlainTextEdit>(name::kAboutText);
    edit->setPlainText(toMultiLineWidget(G(aboutText())));
    QTextCursor all(edit->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    all.mergeBlockFormat(centred);

    // Centred by its outer size, which a top-level window's position includes.
    centreOnScreen(definition().size);
}

void AboutWindow::fitOuterSize()
{
    // The definition's size includes the caption bar and the frame, which only
    // the window system knows, and only once the window is shown.
    const QWindow* window = windowHandle();
    if (window == nullptr)
        return;
    const QMargins frame = window->frameMargins();
    const QSize outer = definition().size;
    const QSize client(outer.width() - frame.left() - frame.right(),
                       outer.height() - frame.top() - frame.bottom());
    if (client.isValid() && client != size())
        setFixedSize(client);
}

bool AboutWindow::event(QEvent* event)
{
    const bool handled = DefinedWindow::event(event);
    // The frame is known when the window is shown, and may change when a
    // window manager decorates it later (which moves the client area).
    if (event->type() == QEvent::Show || event->type() == QEvent::Move)
        fitOuterSize();
    return handled;
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
    return control<QPlainTextEdit>(name::kAboutText)->toPlainText();
}

} // namespace zeph::ui
