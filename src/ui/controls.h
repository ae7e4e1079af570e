#pragma once
// The widgets the window definitions are made of, and the builder that makes
// them from a ControlDef.

#include "ui/windowdef.h"

#include <QImage>
#include <QWidget>

class QPushButton;

namespace zeph::ui {

// A label drawn by the program: gradient or flat background, optional embossed
// caption and sunken edge. It never takes the focus.
class FlatLabel : public QWidget {
    Q_OBJECT
public:
    FlatLabel(const ControlDef& def, QWidget* parent);
    void setCaption(const QString& caption);
    QString caption() const { return m_caption; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawWrapped(QPainter& p, const QRect& area);

    QString m_caption;
    unsigned m_flags;
    QColor m_textColour;
};

// Shows an embedded JPEG at its natural size from the top-left corner, clipped.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    PictureBox(const ControlDef& def, QWidget* parent);
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
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
