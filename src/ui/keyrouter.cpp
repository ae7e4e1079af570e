#include "ui/keyrouter.h"

#include "ui/controls.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace zeph::ui {

KeyRouter::KeyRouter(QWidget& window, const QList<BuiltControl>& controls) : m_window(window)
{
    for (const BuiltControl& c : controls) {
        c.widget->installEventFilter(this);
        m_defs.insert(c.widget, c.def);
        if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
            m_buttons.append(button);
            if (c.def->flags & DefaultButton)
                m_defaultButtons.append(button);
        }
    }
}

bool KeyRouter::clickMnemonic(QChar letter)
{
    for (QPushButton* button : std::as_const(m_buttons)) {
        if (!button->isVisible() || !button->isEnabled())
            continue;
        const QChar m = mnemonicOf(button->text());
        if (!m.isNull() && m.toUpper() == letter.toUpper()) {
            button->click();
            return true;
        }
    }
    return false;
}

namespace {

// Enter in a list whose current row (the one the keyboard is on, and a screen
// reader announced) is not chosen yet chooses it; on a chosen row Enter goes
// on to the default button as everywhere.
bool chooseCurrentRow(const QObject* receiver)
{
    const auto* view = qobject_cast<const QAbstractItemView*>(receiver);
    if (view == nullptr || view->selectionModel() == nullptr)
        return false;
    const QModelIndex current = view->currentIndex();
    if (!current.isValid() || view->selectionModel()->isSelected(current))
        return false;
    view->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
    return true;
}

} // namespace

bool KeyRouter::route(const QObject* receiver, QKeyEvent* event)
{
    const int key = event->key();
    const auto mods =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const ControlDef* def = m_defs.value(receiver);

    if (enter && def && (def->flags & CtrlEnterSubmits)) {
        // The box takes Enter itself; Ctrl+Enter (Ctrl alone) submits.
        if (mods == Qt::ControlModifier) {
            Q_EMIT submitted(def->name.toString());
            return true;
        }
        return false;
    }
    if (enter && mods == Qt::NoModifier && chooseCurrentRow(receiver))
        return true;
    if (enter) {
        // The first enabled default button, whichever control has the focus.
        for (QPushButton* button : std::as_const(m_defaultButtons)) {
            if (button->isVisible() && button->isEnabled()) {
                button->click();
                return true;
            }
        }
    }
    if (mods == Qt::AltModifier &&
        ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))) {
        if (clickMnemonic(QChar(key)))
            return true;
    }
    if (receiver == &m_window && key == Qt::Key_Escape) {
        Q_EMIT escapePressed();
        return true;
    }
    return false;
}

void KeyRouter::windowKey(QKeyEvent* event)
{
    // A key a control did not want stops there: only keys sent to the window
    // itself, when no control has the focus, are the window's.
    const QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || focus == &m_window)
        route(&m_window, event);
}

bool KeyRouter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && route(watched, static_cast<QKeyEvent*>(event)))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace zeph::ui
