#include "ui/windowadapters.h"

#include "core/gbk.h"
#include "lan/netbios.h"
#include "ui/arrivals.h"
#include "ui/controls.h"
#include "ui/definedwindow.h"
#include "ui/texts.h"
#include "ui/widgettext.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalBlocker>

namespace zeph::ui {
namespace {
// What a row of the computer list holds beside its text.
constexpr int kNameRole = Qt::UserRole;
constexpr int kAddressRole = Qt::UserRole + 1;

MessageForm::Listed listedOf(const QListWidgetItem& row)
{
    return {row.data(kNameRole).toByteArray(), Ipv4Address(row.data(kAddressRole).toUInt())};
}

// "PC-B (10.0.0.20)": two hosts answer for the name, and the user tells them apart.
QString withAddress(const QListWidgetItem& row)
{
    const MessageForm::Listed l = listedOf(row);
    return gbk::toUnicode(l.name) + QStringLiteral(" (") +
           QString::fromStdString(l.address.toString()) + QStringLiteral(")");
}
} // namespace

WaitCursor::~WaitCursor()
{
    if (m_remembered)
        QGuiApplication::restoreOverrideCursor();
}

void WaitCursor::on()
{
    if (m_remembered)
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_remembered = true;
}

void WaitCursor::restore()
{
    if (!m_remembered)
        return;
    QGuiApplication::restoreOverrideCursor();
    m_remembered = false;
    QCursor::setPos(QCursor::pos()); // redraw the pointer's shape
}

// ---- the message form -----------------------------------------------------------

WindowForm::WindowForm(DefinedWindow& window, Arrivals& arrivals, WaitCursor& cursor)
    : m_window(window), m_arrivals(arrivals), m_cursor(cursor),
      m_target(window.control<QLineEdit>(name::kTargetBox)),
      m_sendBox(window.control<QPlainTextEdit>(name::kSendBox)),
      m_signature(window.control<QLineEdit>(name::kSignatureBox)),
      m_list(window.control<QListWidget>(name::kComputerList))
{
    // Choosing a computer makes it the target; a click on the item already
    // chosen takes it again.
    const auto take = [this] {
        const QListWidgetItem* item = m_list->item(m_list->currentRow());
        m_chosen = item ? std::optional(listedOf(*item)) : std::nullopt;
        m_target->setText(item ? gbk::toUnicode(m_chosen->name) : QString());
    };
    QObject::connect(m_list, &QListWidget::itemSelectionChanged, m_target, take);
    QObject::connect(m_list, &QListWidget::itemClicked, m_target, take);
}

QByteArray WindowForm::target() const
{
    return gbk::fromUnicode(m_target->text());
}

void WindowForm::setTarget(const QByteArray& text)
{
    m_chosen.reset();
    m_target->setText(gbk::toUnicode(text));
}

QByteArray WindowForm::content() const
{
    return fromMultiLineWidget(m_sendBox->toPlainText());
}

void WindowForm::setContent(const QByteArray& text)
{
    m_sendBox->setPlainText(toMultiLineWidget(text));
}

QByteArray WindowForm::signature() const
{
    return gbk::fromUnicode(m_signature->text());
}

QList<MessageForm::Listed> WindowForm::computers() const
{
    QList<Listed> rows;
    rows.reserve(m_list->count());
    for (int i = 0; i < m_list->count(); ++i)
        rows.append(listedOf(*m_list->item(i)));
    return rows;
}

std::optional<Ipv4Address> WindowForm::chosenAddress() const
{
    if (m_chosen && gbk::fromUnicode(m_target->text()) == m_chosen->name)
        return m_chosen->address;
    return std::nullopt;
}

QList<char32_t> WindowForm::uncarried() const
{
    QList<char32_t> lost = gbk::uncarried(m_sendBox->toPlainText());
    for (const char32_t c : gbk::uncarried(m_signature->text())) {
        if (!lost.contains(c))
            lost.append(c);
    }
    return lost;
}

void WindowForm::showArrival(const QByteArray& sender, const QByteArray& firstLine)
{
    const QString who = gbk::toUnicode(sender);
    m_window.setAccessibleDescription(who.isEmpty() ? texts::kMessageArrived.toString()
                                                    : texts::kMessageFrom.toString().arg(who));
    m_arrivals.arrived(who, toMultiLineWidget(firstLine));
}

void WindowForm::setMessengerButtonEnabled(bool enabled)
{
    m_window.setControlEnabled(name::kMessengerButton, enabled);
}

void WindowForm::waitCursorOn()
{
    m_cursor.on();
}

void WindowForm::restoreCursor()
{
    m_cursor.restore();
}

// ---- the scan view ------------------------------------------------------------------

WindowScanView::WindowScanView(DefinedWindow& window, WaitCursor& cursor)
    : m_window(window), m_cursor(cursor), m_status(window.control<FlatLabel>(name::kStatusLine)),
      m_progress(window.control<QProgressBar>(name::kProgressBar)),
      m_list(window.control<QListWidget>(name::kComputerList))
{
}

void WindowScanView::setStatus(const QByteArray& text)
{
    m_status->setCaption(gbk::toUnicode(text));
}

void WindowScanView::waitCursorOn()
{
    m_cursor.on();
}

void WindowScanView::restoreCursor()
{
    m_cursor.restore();
}

void WindowScanView::setProgressVisible(bool visible)
{
    m_progress->setVisible(visible);
}

void WindowScanView::setProgressMaximum(int maximum)
{
    m_progress->setMaximum(maximum);
}

void WindowScanView::setProgressPosition(int position)
{
    m_progress->setValue(qBound(m_progress->minimum(), position, m_progress->maximum()));
}

void WindowScanView::clearComputers()
{
    const QSignalBlocker quiet(m_list); // emptying the list is not a choice of the user's
    m_list->clear();
}

void WindowScanView::addComputer(const QByteArray& name, Ipv4Address address)
{
    auto* row = new QListWidgetItem(gbk::toUnicode(name));
    row->setData(kNameRole, name);
    row->setData(kAddressRole, address.toHostOrder());
    const QByteArray folded = lan::netbios::upperCased(name);
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* other = m_list->item(i);
        if (lan::netbios::upperCased(other->data(kNameRole).toByteArray()) != folded)
            continue;
        other->setText(withAddress(*other));
        row->setText(withAddress(*row));
    }
    m_list->addItem(row);
}

void WindowScanView::setScanButtons(bool scanning)
{
    if (scanning) {
        m_window.setControlEnabled(name::kCancelScanButton, true);
        m_window.setControlEnabled(name::kRefreshButton, false);
    } else {
        m_window.setControlEnabled(name::kCancelScanButton, false);
        m_window.setControlEnabled(name::kRefreshButton, true);
    }
}

} // namespace zeph::ui
