#include "ui/controls.h"

#include "discovery/sweeprange.h"

#include "ui/jpegimage.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLayout>
#include <qdrawutil.h>

#include <algorithm>
#include <limits>

namespace zeph::ui {
namespace {

// The height of the classic desktop's three-dimensional edge, the unit the
// single-line boxes' minimum height is reckoned in (the window definition's
// pixels are that desktop's pixels too).
constexpr int kSystemEdgeHeight = 2;

// The least height of a single-line edit box in this font: one line of text
// plus twice the system edge. A box defined lower is made this high.
int singleLineEditHeight(const QFont& font)
{
    return QFontMetrics(font).height() + 2 * kSystemEdgeHeight;
}

const QColor kGradientLeft(10, 36, 106);
const QColor kGradientMiddle(86, 117, 171);
const QColor kGradientRight(166, 202, 240);

QString editBoxStyle(const ControlDef& def, const char* cls)
{
    const QColor bg = def.background.isValid() ? def.background : colour::kEditBackground;
    return QStringLiteral("%1 { background-color: %2; color: black; border: %3; }")
        .arg(QLatin1String(cls), bg.name(),
             (def.flags & NoBorder) ? QStringLiteral("none") : QStringLiteral("1px solid #7f9db9"));
}

QString styledButtonStyle(const ControlDef& def)
{
    if (def.flags & OwnColours) {
        return QStringLiteral(
                   "QPushButton { color: black; background-color: rgb(236,236,236);"
                   " border: 1px solid #808080; }"
                   "QPushButton:hover { background-color: %1; }"
                   "QPushButton:focus { background-color: rgb(212,208,200); border: 1px dotted "
                   "black; }"
                   "QPushButton:disabled { color: #a0a0a0; }")
            .arg(colour::kEditBackground.name());
    }
    return QStringLiteral(
        "QPushButton { border: 1px solid #808080; background-color: palette(button); }"
        "QPushButton:hover { background-color: palette(light); }"
        "QPushButton:focus { border: 1px dotted black; }"
        "QPushButton:disabled { color: #a0a0a0; }");
}

} // namespace

FlatLabel::FlatLabel(const ControlDef& def, QWidget* parent)
    : QWidget(parent), m_caption(def.text.toString()), m_flags(def.flags),
      m_textColour(def.textColour)
{
    setFocusPolicy(Qt::NoFocus);
    if (def.flags & LinkFont) {
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(12);
        f.setBold(true);
        f.setItalic(true);
        f.setUnderline(true);
        setFont(f);
    }
    if (def.flags & NoMouse)
        setAttribute(Qt::WA_TransparentForMouseEvents);
    if (def.fontPixels > 0) {
        QFont f = font();
        f.setPixelSize(def.fontPixels);
        setFont(f);
    }
}

void FlatLabel::drawWrapped(QPainter& p, const QRect& area)
{
    // Lines as close as the font allows: the note has to fit its small box.
    const QFontMetrics fm(font());
    QTextLayout layout(m_caption, font());
    layout.beginLayout();
    int y = area.top();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(area.width());
        line.setPosition(QPointF(area.left(), y));
        y += fm.height() - fm.descent() / 2;
    }
    layout.endLayout();
    layout.draw(&p, QPointF(0, 0));
}

void FlatLabel::setCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void FlatLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect area = rect();
    if (m_flags & Gradient) {
        QLinearGradient g(area.topLeft(), area.topRight());
        g.setColorAt(0.0, kGradientLeft);
        g.setColorAt(0.5, kGradientMiddle);
        g.setColorAt(1.0, kGradientRight);
        p.fillRect(area, g);
    } else {
        p.fillRect(area, palette().color(QPalette::Window));
    }
    if (m_flags & SunkenEdge) {
        qDrawShadePanel(&p, area, palette(), true, 1);
        area.adjust(2, 1, -1, -1);
    } else {
        area.adjust(2, 0, 0, 0);
    }
    const int align =
        (m_flags & Centred) ? int(Qt::AlignCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
    auto draw = [&](const QRect& r) {
        if (m_flags & WordWrap)
            drawWrapped(p, r);
        else
            p.drawText(r, align, m_caption);
    };
    if (m_flags & Embossed) {
        p.setPen(Qt::white);
        draw(area);
        area.translate(1, 1);
    }
    p.setPen(m_textColour);
    draw(area);
}

PictureBox::PictureBox(const ControlDef& def, QWidget* parent) : QWidget(parent)
{
    QFile file(def.text.toString());
    if (file.open(QIODevice::ReadOnly))
        m_image = decodeJpeg(file.readAll());
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (!m_image.isNull())
        p.drawImage(QPoint(0, 0), m_image); // natural size; the widget clips the rest
}

void setButtonCaption(QPushButton* button, const QString& caption)
{
    button->setText(caption);
    button->setShortcut(QKeySequence());
}

QChar mnemonicOf(const QString& caption)
{
    const qsizetype at = caption.indexOf(u'&');
    return (at >= 0 && at + 1 < caption.size()) ? caption.at(at + 1) : QChar();
}

QWidget* buildControl(const ControlDef& def, QWidget* parent)
{
    QWidget* w = nullptr;
    const QString text = def.text.toString();
    switch (def.kind) {
    case Kind::Label:
        w = new FlatLabel(def, parent);
        break;
    case Kind::PictureBox:
        w = new PictureBox(def, parent);
        break;
    case Kind::Button:
    case Kind::StyledButton: {
        auto* b = new QPushButton(parent);
        setButtonCaption(b, text);
        b->setAutoDefault(false);
        if (def.kind == Kind::StyledButton) {
            b->setFlat(true);
            b->setStyleSheet(styledButtonStyle(def));
            if (!def.tooltip.isEmpty())
                b->setToolTip(def.tooltip.toString());
        } else {
            b->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; }"));
        }
        w = b;
        break;
    }
    case Kind::EditBox:
        if (def.flags & MultiLine) {
            auto* e = new QPlainTextEdit(parent);
            e->setPlainText(text);
            e->setReadOnly(def.flags & ReadOnly);
            e->setTabChangesFocus(true);
            e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            e->setVerticalScrollBarPolicy((def.flags & VScroll) ? Qt::ScrollBarAlwaysOn
                                                                : Qt::ScrollBarAlwaysOff);
            e->setStyleSheet(editBoxStyle(def, "QPlainTextEdit"));
            w = e;
        } else {
            auto* e = new QLineEdit(text, parent);
            e->setMaxLength(std::numeric_limits<int>::max()); // no limit on the text
            e->setStyleSheet(editBoxStyle(def, "QLineEdit"));
            e->setTextMargins(0, 0, 0, 0);
            w = e;
        }
        break;
    case Kind::ListBox: {
        auto* l = new QListWidget(parent);
        l->setSelectionMode(QAbstractItemView::SingleSelection);
        l->setSortingEnabled(false);
        l->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        l->setStyleSheet(QStringLiteral("QListWidget { background-color: %1; "
                                        "color: black; border: 1px solid #7f9db9; }")
                             .arg(colour::kEditBackground.name()));
        w = l;
        break;
    }
    case Kind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(1, kHighestHostNumber);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setStyleSheet(QStringLiteral(
            "QProgressBar { border: 1px inset gray; background: palette(window); }"
            "QProgressBar::chunk { background-color: rgb(10,36,106); width: 7px; margin: 1px; }"));
        w = bar;
        break;
    }
    case Kind::Hyperlink: {
        auto* l = new FlatLabel(def, parent);
        w = l;
        break;
    }
    case Kind::FileDialog:
    case Kind::DatagramEndpoint:
    case Kind::MenuItem:
    case Kind::MenuSeparator:
        return nullptr;
    }
    w->setObjectName(def.name.toString());
    w->setGeometry(def.geometry);
    if (def.kind == Kind::EditBox && !(def.flags & MultiLine))
        w->resize(w->width(), std::max(w->height(), singleLineEditHeight(w->font())));
    if (def.flags & Hidden)
        w->hide();
    return w;
}

} // namespace zeph::ui
