#pragma once
// The widgets the window definitions are made of, and the builder that makes
// them from a ControlDef.

#include "ui/windowdef.h"

#include <QImage>
#include <QLabel>
#include <QWidget>

class QPushButton;

namespace zeph::ui {

// A label drawn by the program: gradient or flat background, optional embossed
// caption and sunken edge. It never takes the focus. A QLabel, so that it can
// name the box it is the buddy of; it draws itself, though. A caption that
// does not fit the box is drawn in a smaller font, never cut off.
class FlatLabel : public QLabel {
    Q_OBJECT
public:
    FlatLabel(const ControlDef& def, QWidget* parent);
    void setCaption(const QString& caption);
    QString caption() const { return text(); }

    // The area the caption is drawn in, and the font it is drawn in there.
    QRect captionArea() const;
    QFont shownFont() const;
    // Whether the caption's ink lies inside area in font: the rule shownFont
    // shrinks the font by.
    bool fits(const QFont& font, const QRect& area) const;
    // The distance from one wrapped line to the next: as close as the font
    // allows, so that the note fits its small box.
    static int lineStep(const QFontMetrics& metrics);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawWrapped(QPainter& p, const QRect& area);

    unsigned m_flags;
    QColor m_textColour;
};

// Shows an embedded JPEG at its natural size from the top-left corner, clipped.
// On a screen of two or more device pixels to a pixel it draws the image's
// @2x twin (FILE@2x.jpg beside FILE.jpg) at the same size, when there is one.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    PictureBox(const ControlDef& def, QWidget* parent);
    const QImage& image() const { return m_image; }
    const QImage& image2x() const { return m_image2x; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QImage m_image2x;
};

// Creates the widget of a visual control, named after it, at its geometry.
// Non-visual controls (file dialog, datagram endpoints, menu items) give nullptr.
QWidget* buildControl(const ControlDef& def, QWidget* parent);

// The caption with its mnemonic, without Qt's own mnemonic shortcut: the window
// routes Alt+letter itself, in control order.
void setButtonCaption(QPushButton* button, const QString& caption);

// The letter after '&' in a caption, or a null QChar.
QChar mnemonicOf(const QString& caption);

} // namespace zeph::ui
