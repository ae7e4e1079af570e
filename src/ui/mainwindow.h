#pragma once
// The main window: a window built from its definition, with the tray, the
// history pane and the two views the controllers work through. What the user
// asks for leaves it as typed signals; src/app connects them to the controllers.

#include "ui/aboutwindow.h"
#include "ui/arrivals.h"
#include "ui/definedwindow.h"
#include "ui/historypane.h"
#include "ui/traycontroller.h"
#include "ui/windowadapters.h"

#include <QPointer>

#include <functional>
#include <memory>

namespace zeph::ui {

class DestroyWatch;

enum class ExitKind { Confirmed, Immediate };

class MainWindow : public DefinedWindow {
    Q_OBJECT
public:
    // trayPresent: whether a notification area is there to hide into.
    explicit MainWindow(QWidget* parent = nullptr,
                        std::function<bool()> trayPresent = &TrayIcon::hostAvailable);
    ~MainWindow() override;

    HistoryPane& historyPane() { return *m_pane; }
    TrayController& tray() { return *m_tray; }
    Arrivals& arrivals() { return *m_arrivals; }
    WindowForm& form() { return m_form; }
    WindowScanView& scanView() { return m_scanView; }

    // The hints and clearing the history ask whether a scan runs.
    void setScanRunningQuery(std::function<bool()> query);

    // Where the definition's (0, 0) lies: inside the thin single-line border
    // drawn around the frameless window.
    static constexpr QPoint kClientOrigin{1, 1};
    // The size of a classic desktop's default GUI font, in the classic Chinese
    // desktop's family when it is among installed (the layout was drawn for it;
    // the window passes Windows' families, none elsewhere).
    static QFont classicGuiFont(QFont font, const QStringList& installed);
    // The size the window takes at start-up: the template height less 22.
    static QSize startUpSize();

    // Start-up: the start-up size, centred from the template size.
    void applyStartUpGeometry();
    void setTitleCaption(const QString& caption);

    void showAbout(); // one about window at a time
    AboutWindow* aboutWindow() const { return m_about; }

Q_SIGNALS:
    void sendRequested();
    void broadcastRequested();
    void popupSendRequested();
    void scanRequested();
    void cancelScanRequested();
    void exitRequested(zeph::ui::ExitKind kind);
    void firstActivated(); // after the first activation has been delivered
    void closed();         // closed or destroyed by other means

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void connectControls();
    void showHint(const QString& hint);
    void openAdvertisedPage();

    std::function<bool()> m_scanRunning;
    TrayController* m_tray;
    Arrivals* m_arrivals;
    HistoryPane* m_pane;
    WaitCursor m_cursor;
    WindowForm m_form;
    WindowScanView m_scanView;
    QPointer<AboutWindow> m_about;
#ifndef Q_OS_WIN
    std::unique_ptr<DestroyWatch> m_destroyWatch;
#endif
    bool m_activatedOnce = false;
};

} // namespace zeph::ui
