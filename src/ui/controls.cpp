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
#include <QtMath>
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
    : QLabel(parent), m_flags(def.flags), m_textColour(def.textColour)
{
    setTextFormat(Qt::PlainText); // a caption is shown as it is, whatever it holds
    setText(def.text.toString());
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

int FlatLabel::lineStep(const QFontMetrics& metrics)
{
    return metrics.height() - metrics.descent() / 2;
}

void FlatLabel::drawWrapped(QPainter& p, const QRect& area)
{
    const QFontMetrics fm(p.font());
    QTextLayout layout(text(), p.font());
    layout.beginLayout();
    int y = area.top();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(area.width());
        line.setPosition(QPointF(area.left(), y));
        y += lineStep(fm);
    }
    layout.endLayout();
    layout.draw(&p, QPointF(0, 0));
}

bool FlatLabel::fits(const QFont& font, const QRect& area) const
{
    const QFontMetrics fm(font);
    if (!(m_flags & WordWrap)) {
        // The ink, where the centred line puts it: a font with a tall line box
        // (large leading, as some Arial stand-ins have) still fits when its
        // glyphs do, and a trailing full-width colon is mostly blank.
        const QRect ink = fm.tightBoundingRect(text());
        const qreal baseline = (area.height() - fm.height()) / 2.0 + fm.ascent();
        return fm.boundingRect(text()).right() < area.width() && baseline + ink.top() >= 0 &&
               baseline + ink.bottom() < area.height();
    }
    QTextLayout layout(text(), font);
    layout.beginLayout();
    int top = -lineStep(fm);
    int height = 0; // of the last line: as high as the fonts its characters come from
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(area.width());
        top += lineStep(fm);
        height = qCeil(line.height());
    }
    layout.endLayout();
    return top + height <= area.height();
}

QRect FlatLabel::captionArea() const
{
    QRect area = rect();
    if (m_flags & SunkenEdge)
        area.adjust(2, 1, -1, -1);
    else
        area.adjust(2, 0, 0, 0);
    if (m_flags & Embossed)
        area.adjust(0, 0, -1, -1); // the second drawing lies one pixel right and down
    return area;
}

QFont FlatLabel::shownFont() const
{
    // Another font than the one the layout was drawn for may need more room:
    // a pixel less at a time, down to a size still legible.
    constexpr int kSmallest = 8;
    QFont f = font();
    int pixels = f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
    const QRect area = captionArea();
    while (pixels > kSmallest && !fits(f, area))
        f.setPixelSize(--pixels);
    return f;
}

void FlatLabel::setCaption(const QString& caption)
{
    if (caption == text())
        return;
    setText(caption); // repaints, and tells a screen reader that the name changed
}

void FlatLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect whole = rect();
    if (m_flags & Gradient) {
        QLinearGradient g(whole.topLeft(), whole.topRight());
        g.setColorAt(0.0, kGradientLeft);
        g.setColorAt(0.5, kGradientMiddle);
        g.setColorAt(1.0, kGradientRight);
        p.fillRect(whole, g);
    } else {
        p.fillRect(whole, palette().color(QPalette::Window));
    }
    if (m_flags & SunkenEdge)
        qDrawShadePanel(&p, whole, palette(), true, 1);
    QRect area = captionArea();
    if (m_flags & Embossed)
        area.adjust(0, 0, 1, 1); // each drawing has the whole area; the second moves
    p.setFont(shownFont());
    const int align =
        (m_flags & Centred) ? int(Qt::AlignCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
    auto draw = [&](const QRect& r) {
        if (m_flags & WordWrap)
            drawWrapped(p, r);
        else
            p.drawText(r, align, text());
    };
    if (m_flags & Embossed) {
        p.setPen(Qt::white);
        draw(area);
        area.translate(1, 1);
    }
    p.setPen(m_textColour);
    draw(area);
}

namespace {

QString twinPath(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 ? QString() : path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QImage loadJpeg(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? decodeJpeg(file.readAll()) : QImage();
}

} // namespace

PictureBox::PictureBox(const ControlDef& def, QWidget* parent)
    : QWidget(parent), m_image(loadJpeg(def.text.toString())),
      m_image2x(loadJpeg(twinPath(def.text.toString())))
{
    if (!m_image2x.isNull())
        m_image2x.setDevicePixelRatio(2.0);
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const bool sharp = devicePixelRatioF() > 1.0 && !m_image2x.isNull();
    const QImage& shown = sharp ? m_image2x : m_image;
    if (!shown.isNull())
        p.drawImage(QPoint(0, 0), shown); // natural size; the widget clips the rest
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

namespace {

QWidget* buildButton(const ControlDef& def, QWidget* parent)
{
    auto* b = new QPushButton(parent);
    setButtonCaption(b, def.text.toString());
    b->setAutoDefault(false);
    if (def.kind == Kind::StyledButton) {
        b->setFlat(true);
        b->setStyleSheet(styledButtonStyle(def));
        if (!def.tooltip.isEmpty())
            b->setToolTip(def.tooltip.toString());
    } else {
        b->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; }"));
    }
    return b;
}

QWidget* buildMultiLineBox(const ControlDef& def, QWidget* parent)
{
    auto* e = new QPlainTextEdit(parent);
    e->setPlainText(def.text.toString());
    e->setReadOnly(def.flags & ReadOnly);
    e->setTabChangesFocus(true);
    e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    e->setVerticalScrollBarPolicy((def.flags & VScroll) ? Qt::ScrollBarAlwaysOn
                                                        : Qt::ScrollBarAlwaysOff);
    e->setStyleSheet(editBoxStyle(def, "QPlainTextEdit"));
    return e;
}

QWidget* buildSingleLineBox(const ControlDef& def, QWidget* parent)
{
    auto* e = new QLineEdit(def.text.toString(), parent);
    e->setMaxLength(std::numeric_limits<int>::max()); // no limit on the text
    e->setStyleSheet(editBoxStyle(def, "QLineEdit"));
    e->setTextMargins(0, 0, 0, 0);
    return e;
}

QWidget* buildListBox(const ControlDef&, QWidget* parent)
{
    auto* l = new QListWidget(parent);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setSortingEnabled(false);
    l->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    l->setStyleSheet(QStringLiteral("QListWidget { background-color: %1; "
                                    "color: black; border: 1px solid #7f9db9; }")
                         .arg(colour::kEditBackground.name()));
    return l;
}

QWidget* buildProgressBar(const ControlDef&, QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(1, kHighestHostNumber);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px inset gray; background: palette(window); }"
        "QProgressBar::chunk { background-color: rgb(10,36,106); width: 7px; margin: 1px; }"));
    return bar;
}

// The widget of a control's kind, nullptr for the non-visual kinds.
QWidget* buildWidget(const ControlDef& def, QWidget* parent)
{
    switch (def.kind) {
    case Kind::Label:
    case Kind::Hyperlink:
        return new FlatLabel(def, parent);
    case Kind::PictureBox:
        return new PictureBox(def, parent);
    case Kind::Button:
    case Kind::StyledButton:
        return buildButton(def, parent);
    case Kind::EditBox:
        return (def.flags & MultiLine) ? buildMultiLineBox(def, parent)
                                       : buildSingleLineBox(def, parent);
    case Kind::ListBox:
        return buildListBox(def, parent);
    case Kind::ProgressBar:
        return buildProgressBar(def, parent);
    case Kind::FileDialog:
    case Kind::DatagramEndpoint:
    case Kind::MenuItem:
    case Kind::MenuSeparator:
        break;
    }
    return nullptr;
}

} // namespace

QWidget* buildControl(const ControlDef& def, QWidget* parent)
{
    QWidget* w = buildWidget(def, parent);
    if (!w)
        return nullptr;
    w->setObjectName(def.name.toString());
    w->setGeometry(def.geometry);
    if (def.kind == Kind::EditBox && !(def.flags & MultiLine))
        w->resize(w->width(), std::max(w->height(), singleLineEditHeight(w->font())));
    if (def.flags & Hidden)
        w->hide();
    return w;
}

} // namespace zeph::ui
