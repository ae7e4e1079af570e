#pragma once
// One run of the program: the program-wide values, the subsystems, the main
// window and the handlers that tie them together; start-up and the three ways
// a run ends.

#include "history/history.h"
#include "names/namelookup.h"
#include "platform/session/singleinstance.h"

#include <QObject>

#include <functional>
#include <memory>

namespace zeph {

class Messenger;
class MessengerService;
class Scanner;
namespace ui {
class MainWindow;
}

class ZephApp : public QObject {
    Q_OBJECT
public:
    ZephApp();
    ~ZephApp() override;

    // Builds the main window, connects it to the controllers and runs the
    // start-up handler. False when another copy runs: the refusal was shown,
    // and the window must not be shown.
    bool start();

    ui::MainWindow& window() { return *m_window; }
    History& history() { return m_history; }
    Messenger& messenger() { return *m_messenger; }
    Scanner& scanner() { return *m_scanner; }
    MessengerService& messengerService() { return *m_service; }
    platform::SingleInstance& marker() { return m_marker; }

    // How the exit paths end the process; tests replace it.
    void setTerminate(std::function<void(int)> terminate) { m_terminate = std::move(terminate); }

    void confirmedExit();
    void immediateExit();

private:
    void connectWindow();
    void startUpHandler();
    void firstActivation();
    void windowDestroyed();
    void endProcess();

    platform::SingleInstance m_marker;
    History m_history;
    // The interfaces the scan covers and the LAN questions leave from,
    // found once at start-up.
    std::shared_ptr<NameLookup::Interfaces> m_lan = std::make_shared<NameLookup::Interfaces>();
    // Before everything that asks it for names, so that it outlives them.
    NameLookup m_names{NameLookup::systemBackends(m_lan)};
    std::unique_ptr<ui::MainWindow> m_window;
    std::unique_ptr<Messenger> m_messenger;
    std::unique_ptr<Scanner> m_scanner;
    std::unique_ptr<MessengerService> m_service;
    std::function<void(int)> m_terminate;
    bool m_refused = false;
};

} // namespace zeph
