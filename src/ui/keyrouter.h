#pragma once
// Routes the keys of a window built from its definition the way the window
// expects them: Enter clicks the first enabled default button, whichever
// control has the focus (in a list on a row not chosen yet, it chooses that
// row first); in a box that submits, Enter is the box's own and
// Ctrl+Enter submits; Alt+letter clicks the button with that mnemonic, in
// stacking order; Esc with no control focused is the window's.

#include "ui/windowbuilder.h"

#include <QHash>
#include <QList>
#include <QObject>

class QKeyEvent;
class QPushButton;
class QWidget;

namespace zeph::ui {

class KeyRouter : public QObject {
    Q_OBJECT
public:
    KeyRouter(QWidget& window, const QList<BuiltControl>& controls);

    // A key sent to the window itself.
    void windowKey(QKeyEvent* event);

Q_SIGNALS:
    void escapePressed();                   // Esc while no control has the focus
    void submitted(const QString& control); // Ctrl+Enter in a box that submits

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool route(const QObject* receiver, QKeyEvent* event);
    bool clickMnemonic(QChar letter);

    QWidget& m_window;
    QHash<const QObject*, const ControlDef*> m_defs;
    QList<QPushButton*> m_buttons; // stacking order: mnemonics
    QList<QPushButton*> m_defaultButtons;
};

} // namespace zeph::ui
