#include "app/zephapp.h"

#include "app/application.h"

#include "core/logging.h"
#include "core/product.h"
#include "discovery/scanner.h"
#include "messaging/messenger.h"
#include "messaging/messengerservice.h"
#include "platform/autostart.h"
#include "platform/echoprobe.h"
#include "platform/localaddress.h"
#include "platform/names.h"
#include "platform/popupmessage.h"
#include "ui/mainwindow.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <unistd.h>

namespace zeph {

using ui::Handler;

ZephApp::ZephApp()
    : m_marker(product::kAppId.toString()), m_terminate([](int code) {
          // End at once, also from inside a running scan; the kernel closes the
          // sockets and the display connection, which takes the tray icon away.
          std::fflush(nullptr);
          ::_exit(code);
      })
{
}

ZephApp::~ZephApp() = default;

bool ZephApp::start()
{
    // The run ends with the main window, not with the last visible window: the
    // about window closed while the main window sits in the tray ends nothing.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Loading the window creates its controls, among them the datagram endpoints.
    m_window = std::make_unique<ui::MainWindow>();
    ui::MainWindow& w = *m_window;
    m_messenger = std::make_unique<Messenger>(m_history, w);
    m_scanner =
        std::make_unique<Scanner>(m_history, w, &platform::echoProbe, &platform::reverseLookup);
    m_service = std::make_unique<MessengerService>(m_history, w);
    w.attachHistory(m_history);
    w.setScanRunningQuery([this] { return m_scanner->running(); });

    w.setHandler(Handler::StartUp, [this] { startUpHandler(); });
    w.setHandler(Handler::FirstActivation, [this] { firstActivation(); });
    w.setHandler(Handler::WindowDestroyed, [this] { windowDestroyed(); });
    w.setHandler(Handler::ConfirmedExit, [this] { confirmedExit(); });
    w.setHandler(Handler::ImmediateExit, [this] { immediateExit(); });
    w.setHandler(Handler::RunScan, [this] { m_scanner->run(); });
    w.setHandler(Handler::RequestCancel, [this] { m_scanner->requestCancel(); });
    w.setHandler(Handler::KeyDownCancel, [this] { m_scanner->requestCancel(); });
    w.setHandler(Handler::SendMessage, [this] { m_messenger->sendMessage(); });
    w.setHandler(Handler::SendOnCtrlEnter, [this] { m_messenger->sendMessage(); });
    w.setHandler(Handler::Broadcast, [this] { m_messenger->broadcast(); });
    w.setHandler(Handler::MessengerSend, [this] { m_service->send(); });

    w.raiseEvent({}, ui::Event::Created);
    return !m_refused;
}

void ZephApp::startUpHandler()
{
    // 1. One copy per desktop session.
    if (!m_marker.acquire()) {
        QMessageBox box(QMessageBox::Information, product::kTitle.toString(),
                        ui::text::kSecondCopy.toString(), QMessageBox::Ok);
        box.setObjectName(QStringLiteral("secondCopyBox"));
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
        m_refused = true;
        return;
    }
    // 2. and 3. Height, position and the title bar's caption.
    m_window->applyStartUpGeometry();
    m_window->setTitleCaption(product::kTitle.toString() + QStringLiteral("--") +
                              product::kAuthor.toString() + u' ' + product::kDate.toString() +
                              u' ' + product::kWebAddress.toString());
    // 4. The subsystems' own initialisations: scan, messaging, history.
    m_scanner->startUp(platform::localIPv4Address(platform::resolveName(platform::ownHostName())));
    m_messenger->startUp();
    m_history.initialise();
    m_messenger->reportStartUpProblems();
    // 5. Start at log-on; a failure is not reported.
    platform::registerAutostart(QCoreApplication::applicationFilePath());
    // 6. Pop-up messages need Samba's client.
    m_window->setMessengerButtonEnabled(platform::popupMessageAvailable());
}

void ZephApp::firstActivation()
{
    m_window->installTrayIcon();
    m_window->hideMainWindow();
    m_scanner->run();
}

void ZephApp::windowDestroyed()
{
    m_marker.release();
    // A scan in progress stops after its current address instead of probing on
    // for a window that is gone, so the process (and its port) goes promptly.
    m_scanner->requestCancel();
    QCoreApplication::quit(); // the run lasts as long as the main window
}

void ZephApp::confirmedExit()
{
    QMessageBox box(QMessageBox::Question, ui::text::kExitTitle.toString(),
                    ui::text::kExitQuestion.toString(), QMessageBox::Yes | QMessageBox::No);
    box.setObjectName(QStringLiteral("exitBox"));
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() == QMessageBox::Yes)
        endProcess();
}

void ZephApp::immediateExit()
{
    endProcess();
}

void ZephApp::endProcess()
{
    m_marker.release();
    m_window->removeTrayIcon();
    m_terminate(0);
}

int runApplication(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(product::kAppId.toString());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zeph.ico")));
    ZephApp zeph;
    if (!zeph.start())
        return 0;
    zeph.window().show();
    QApplication::exec();
    return 0; // every way the program ends uses exit code 0
}

} // namespace zeph
