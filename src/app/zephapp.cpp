#include "app/zephapp.h"

#include "app/application.h"
#include "app/commandline.h"
#include "app/displayplatform.h"

#include "app/texts.h"
#include "core/gbk.h"
#include "core/logging.h"
#include "core/product.h"
#include "discovery/scanconfig.h"
#include "discovery/scanner.h"
#include "messaging/messenger.h"
#include "messaging/messengerservice.h"
#include "platform/echo/echoprobe.h"
#include "platform/net/localaddress.h"
#include "platform/net/names.h"
#include "platform/process/popupmessage.h"
#include "platform/session/autostart.h"
#include "platform/session/memorypolicy.h"
#include "platform/session/userfiles.h"
#include "ui/mainwindow.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <cstdio>
#include <unistd.h>

namespace zeph {

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
    platform::keepFreedMemoryForReuse();
    // Loading the window creates its controls, among them the datagram endpoints.
    m_window = std::make_unique<ui::MainWindow>();
    ui::MainWindow& w = *m_window;
    m_messenger = std::make_unique<Messenger>(m_history, w.form(), m_names);
    m_scanner = std::make_unique<Scanner>(
        m_history, w.scanView(), [] { return platform::openEchoTransport(); },
        [this](Ipv4Address address) { return m_names.reverse(address); });
    m_service = std::make_unique<MessengerService>(m_history, w.form(), m_names);
    w.historyPane().attach(m_history);
    w.setScanRunningQuery([this] { return m_scanner->running(); });
    connectWindow();

    startUpHandler();
    return !m_refused;
}

// Every event of the window reaches its controller here, and only here.
void ZephApp::connectWindow()
{
    ui::MainWindow* w = m_window.get();
    connect(w, &ui::MainWindow::sendRequested, m_messenger.get(), &Messenger::sendMessage);
    connect(w, &ui::MainWindow::broadcastRequested, m_messenger.get(), &Messenger::broadcast);
    connect(w, &ui::MainWindow::popupSendRequested, m_service.get(), &MessengerService::send);
    connect(w, &ui::MainWindow::scanRequested, m_scanner.get(), &Scanner::run);
    connect(w, &ui::MainWindow::cancelScanRequested, m_scanner.get(), &Scanner::requestCancel);
    // Every name the scan lists resolves back to its address, also when only
    // the computer itself knew its name.
    connect(m_scanner.get(), &Scanner::started, this, [this] { m_names.forgetScanNames(); });
    connect(m_scanner.get(), &Scanner::computerListed, this,
            [this](const QByteArray& name, Ipv4Address a) { m_names.rememberScanName(name, a); });
    connect(w, &ui::MainWindow::firstActivated, this, &ZephApp::firstActivation);
    connect(w, &ui::MainWindow::closed, this, &ZephApp::windowDestroyed);
    connect(w, &ui::MainWindow::exitRequested, this, [this](ui::ExitKind kind) {
        if (kind == ui::ExitKind::Confirmed)
            confirmedExit();
        else
            immediateExit();
    });
}

void ZephApp::startUpHandler()
{
    // 1. One copy per desktop session.
    if (!m_marker.acquire()) {
        QMessageBox box(QMessageBox::Information, product::kTitle.toString(),
                        texts::kSecondCopy.toString(), QMessageBox::Ok);
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
    const std::vector<lan::ScanInterface> on =
        platform::scanInterfaces(m_names.resolve(platform::ownHostName()));
    m_lan->set(on);
    const ScanConfig config = readScanConfig(scanConfigPath());
    m_scanner->startUp(on, config.subnets);
    m_messenger->startUp();
    m_history.initialise();
    for (const QByteArray& problem : config.problems)
        m_history.appendError(problem);
    m_messenger->reportStartUpProblems();
    // 5. Start at log-on; a failure is not reported. A program that another
    // user could replace (run from /tmp/x, /dev/shm, a folder others may
    // write) is not registered, and the history says so once: the entry as
    // it was stays.
    const QString program = QCoreApplication::applicationFilePath();
    if (platform::noOtherUserCanReplace(program))
        platform::registerAutostart(program);
    else
        m_history.appendError(G(texts::kAutostartRefused) +
                              gbk::fromUnicode(QDir::toNativeSeparators(program)));
    // 6. Pop-up messages need Samba's client.
    m_window->form().setMessengerButtonEnabled(platform::popupMessageAvailable());
}

void ZephApp::firstActivation()
{
    m_window->tray().install();
    m_window->tray().hideWindow();
    m_scanner->run();
}

void ZephApp::windowDestroyed()
{
    m_marker.release();
    // A scan in progress stops instead of probing on for a window that is
    // gone, so the process (and its port) goes promptly.
    m_scanner->requestCancel();
    QCoreApplication::quit(); // the run lasts as long as the main window
}

void ZephApp::confirmedExit()
{
    QMessageBox box(QMessageBox::Question, texts::kExitTitle.toString(),
                    texts::kExitQuestion.toString(), QMessageBox::Yes | QMessageBox::No);
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
    m_window->tray().remove();
    m_terminate(0);
}

int runApplication(int argc, char* argv[])
{
    // Answered before the application exists: no display is needed, and no
    // marker, socket or scan is touched.
    if (const CommandLineAction action = parseCommandLine(argc, argv);
        action != CommandLineAction::Run)
        return printCommandLineAnswer(action, stdout);
    PlatformPreference platform;
    QApplication app(argc, argv);
    platform.release();
    QApplication::setApplicationName(product::kAppId.toString());
    QApplication::setWindowIcon(QIcon(ui::resource::kIcon.toString()));
    ZephApp zeph;
    if (!zeph.start())
        return 0;
    zeph.window().show();
    QApplication::exec();
    return 0; // every way the program ends uses exit code 0
}

} // namespace zeph
