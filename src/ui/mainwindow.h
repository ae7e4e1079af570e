#pragma once
// The main window: built from its definition, it implements what the messaging
// and scan handlers need (MessageForm, ScanView), routes the keyboard as the
// definition's bindings say, hides into and comes back from the tray, and
// mirrors the history into its pane. Handlers owned by other subsystems are
// registered with setHandler().

#include "discovery/scanview.h"
#include "messaging/messageform.h"
#include "ui/windowdef.h"

#include <QHash>
#include <QPointer>
#include <QSet>

#include "ui/aboutwindow.h"
#include <QWidget>

#include <functional>
#include <memory>

class QFileDialog;
class QKeyEvent;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace zeph {
class History;
}

namespace zeph::ui {

class AboutWindow;
class DestroyWatch;
class FlatLabel;
class TrayIcon;

class MainWindow : public QWidget, public MessageForm, public ScanView {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void setHandler(Handler handler, std::function<void()> fn);
    // Runs the handler bound to (control, event); false when nothing is bound.
    bool raiseEvent(QStringView control, Event event);

    QWidget* control(QStringView name) const { return m_controls.value(name.toString()); }
    template <class T> T* control(QStringView name) const
    {
        return qobject_cast<T*>(control(name));
    }

    // The pane shows the history; save and clear work on it.
    void attachHistory(History& history);
    // The hints and clear-history ask whether a scan runs.
    void setScanRunningQuery(std::function<bool()> query) { m_scanRunning = std::move(query); }

    // Start-up: the template height less 22, centred from the template size.
    void applyStartUpGeometry();
    void setTitleCaption(const QString& caption);

    // Tray and visibility.
    void installTrayIcon();
    void removeTrayIcon();
    TrayIcon* trayIcon() const { return m_tray; }
    void hideMainWindow();
    bool hiddenInTray() const { return m_hiddenInTray; }
    void trayEvent(int kind);
    QMenu* trayMenu() const { return m_trayMenu; }

    void showHint(QStringView hint);
    void showAbout();
    AboutWindow* aboutWindow() const { return m_about; }
    void openAdvertisedPage();
    void saveHistory();
    void clearHistory();
    void takeSelectedComputer();
    void selectAllSignature();
    QFileDialog* saveDialog() const { return m_saveDialog; }

    // MessageForm
    QByteArray target() const override;
    void setTarget(const QByteArray& text) override;
    QByteArray content() const override;
    void setContent(const QByteArray& text) override;
    QByteArray signature() const override;
    QList<QByteArray> computers() const override;
    void showMainWindow() override;
    void setMessengerButtonEnabled(bool enabled) override;
    void waitCursorOn() override;
    void restoreCursor() override;

    // ScanView
    void setStatus(const QByteArray& text) override;
    void setProgressVisible(bool visible) override;
    void setProgressMaximum(int maximum) override;
    void setProgressPosition(int position) override;
    void clearComputers() override;
    void addComputer(const QByteArray& name) override;
    void setScanButtons(bool scanning) override;
    void processPendingEvents() override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildControls();
    void bindEvents();
    void buildTrayMenu();
    void invoke(const Binding& binding);
    bool routeKey(QWidget* receiver, QKeyEvent* event);
    bool clickMnemonic(QChar letter);
    void startDrag(QPoint globalPos);

    QHash<QString, QWidget*> m_controls;
    QList<QWidget*> m_controlOrder; // table order, for the default button and mnemonics
    QHash<Handler, std::function<void()>> m_handlers;
    QMultiHash<QObject*, const Binding*> m_eventBindings; // filtered events per object
    std::function<bool()> m_scanRunning;
    History* m_history = nullptr;

    QLineEdit* m_target = nullptr;
    QLineEdit* m_signature = nullptr;
    QPlainTextEdit* m_sendBox = nullptr;
    QPlainTextEdit* m_pane = nullptr;
    QListWidget* m_list = nullptr;
    QProgressBar* m_progress = nullptr;
    FlatLabel* m_status = nullptr;
    QList<QPushButton*> m_defaultButtons; // in control order
    QSet<const QObject*> m_noDrag;        // a press here does not move the window

    QFileDialog* m_saveDialog = nullptr;
    TrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QPointer<AboutWindow> m_about;
    std::unique_ptr<DestroyWatch> m_destroyWatch;

    bool m_activatedOnce = false;
    bool m_hiddenInTray = false;
    bool m_cursorRemembered = false;
    bool m_dragging = false;
    bool m_scrollPending = false;
    QPoint m_dragOffset;
};

} // namespace zeph::ui
