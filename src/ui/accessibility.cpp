#include "ui/accessibility.h"

#include "ui/controls.h"
#include "ui/definedwindow.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QVariant>

namespace zeph::ui {
namespace {

// The role the definition gives a control, kept on its widget for the factory.
constexpr char kRoleProperty[] = "zephAccessibleRole";

// The program's own widgets: a label is named by its caption and names its
// buddy; a link can be pressed; a window is a frame.
class AccessibleControl : public QAccessibleWidget {
public:
    AccessibleControl(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    // Read when asked: the interface may be made before the builder sets it.
    QAccessible::Role role() const override
    {
        const QVariant role = widget()->property(kRoleProperty);
        return role.isValid() ? QAccessible::Role(role.toInt()) : QAccessibleWidget::role();
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            if (const auto* label = qobject_cast<const QLabel*>(widget()))
                return label->text();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (role() == QAccessible::Link)
            s.linked = true;
        return s;
    }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        auto found = QAccessibleWidget::relations(match);
        const auto* label = qobject_cast<const QLabel*>(widget());
        if ((match & QAccessible::Labelled) && label && label->buddy()) {
            if (QAccessibleInterface* buddy = QAccessible::queryAccessibleInterface(label->buddy()))
                found.append({buddy, QAccessible::Labelled});
        }
        return found;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (role() == QAccessible::Link)
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& action) override
    {
        if (action != pressAction() || role() != QAccessible::Link)
            return QAccessibleWidget::doAction(action);
        // What a click on it does: the window's press and release of the control.
        if (auto* window = qobject_cast<DefinedWindow*>(widget()->window()))
            window->activateControl(widget()->objectName());
    }
};

QAccessibleInterface* programWidgetInterface(const QString& key, QObject* object)
{
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (key == QLatin1String(DefinedWindow::staticMetaObject.className()))
        return new AccessibleControl(widget, QAccessible::Window);
    const bool label = key == QLatin1String(FlatLabel::staticMetaObject.className());
    if (!label && key != QLatin1String(PictureBox::staticMetaObject.className()))
        return nullptr;
    return new AccessibleControl(widget, label ? QAccessible::StaticText : QAccessible::Graphic);
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(programWidgetInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

void applyAccessibility(const WindowDef& def, QWidget& window, const WindowBuilder& built)
{
    if (const auto* titleBar = qobject_cast<const QLabel*>(built.control(def.titleBar)))
        window.setAccessibleName(titleBar->text());
    for (const BuiltControl& c : built.controls()) {
        const Access& a = c.def->access;
        if (!a.name.isEmpty())
            c.widget->setAccessibleName(a.name.toString());
        // Buttons are described by their tooltips without help.
        const QStringView description = a.description.isEmpty() ? c.def->hint : a.description;
        if (!description.isEmpty())
            c.widget->setAccessibleDescription(description.toString());
        if (a.role != QAccessible::NoRole)
            c.widget->setProperty(kRoleProperty, int(a.role));
        if (auto* label = qobject_cast<QLabel*>(built.control(a.labelledBy)))
            label->setBuddy(c.widget);
    }
}

} // namespace zeph::ui
