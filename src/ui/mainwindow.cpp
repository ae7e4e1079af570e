#include "ui/mainwindow.h"

#include "core/logging.h"
#include "core/product.h"
#include "core/texts.h"
#include "ui/aboutwindow.h"
#include "ui/controls.h"
#ifndef Q_OS_WIN
#include "ui/destroywatch.h"
#endif

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

namespace zeph::ui {
namespace {

DefinedWindow::Options mainWindowOptions()
{
    DefinedWindow::Options o;
    o.flags = Qt::Window | Qt::FramelessWindowHint;
    o.clientOrigin = MainWindow::kClientOrigin;
    o.dragsByLabels = true;
    return o;
}

// The families a window may prefer: on Windows, the installed ones.
QStringList preferableFamilies()
{
#ifdef Q_OS_WIN
    return QFontDatabase::families();
#else
    return {};
#endif
}

} // namespace

MainWindow::MainWindow(QWidget* parent, std::function<bool()> trayPresent)
    : DefinedWindow(mainWindowDef(), mainWindowOptions(), parent),
      m_tray(new TrayController(this, std::move(trayPresent))),
      m_arrivals(new Arrivals(this, control<QPlainTextEdit>(name::kSendBox), *m_tray)),
      m_pane(new HistoryPane(control<QPlainTextEdit>(name::kHistoryBox), this)),
      m_form(*this, *m_arrivals, m_cursor), m_scanView(*this, m_cursor)
{
    setObjectName(QStringLiteral("主窗口"));
    setWindowIcon(QIcon(resource::kIcon.toString()));
    setFocusPolicy(Qt::NoFocus);
    setFont(classicGuiFont(font(), preferableFamilies()));
    connectControls();
#ifndef Q_OS_WIN
    // Only an X server lets another client destroy the window outright.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        m_destroyWatch = std::make_unique<DestroyWatch>(this, [this] { close(); });
#endif
}

MainWindow::~MainWindow()
{
    m_tray->remove();
}

void MainWindow::connectControls()
{
    const auto clicked = [this](QStringView name, auto signal) {
        connect(control<QPushButton>(name), &QPushButton::clicked, this, signal);
    };
    clicked(name::kSendButton, &MainWindow::sendRequested);
    clicked(name::kBroadcastButton, &MainWindow::broadcastRequested);
    clicked(name::kMessengerButton, &MainWindow::popupSendRequested);
    clicked(name::kRefreshButton, &MainWindow::scanRequested);
    clicked(name::kCancelScanButton, &MainWindow::cancelScanRequested);
    connect(control<QPushButton>(name::kExitButton), &QPushButton::clicked, this,
            [this] { Q_EMIT exitRequested(ExitKind::Confirmed); });
    connect(control<QPushButton>(name::kMinimiseButton), &QPushButton::clicked, m_tray,
            &TrayController::hideWindow);
    connect(control<QPushButton>(name::kSaveHistoryButton), &QPushButton::clicked, m_pane,
            &HistoryPane::save);
    connect(control<QPushButton>(name::kClearHistoryButton), &QPushButton::clicked, m_pane,
            &HistoryPane::clear);

    connect(this, &DefinedWindow::submitted, this, &MainWindow::sendRequested); // Ctrl+Enter
    connect(this, &DefinedWindow::escapePressed, this, &MainWindow::cancelScanRequested);
    connect(this, &DefinedWindow::hintRequested, this, &MainWindow::showHint);
    connect(this, &DefinedWindow::pressed, this, [this](const QString& name) {
        if (name == name::kBanner)
            openAdvertisedPage();
    });
    connect(this, &DefinedWindow::released, this, [this](const QString& name) {
        if (name == name::kAboutLabel)
            showAbout();
    });

    connect(new QShortcut(QKeySequence(key::kAbout), this), &QShortcut::activated, this,
            &MainWindow::showAbout);
    connect(m_tray, &TrayController::aboutRequested, this, &MainWindow::showAbout);
    connect(m_tray, &TrayController::exitRequested, this,
            [this] { Q_EMIT exitRequested(ExitKind::Immediate); });
}

void MainWindow::setScanRunningQuery(std::function<bool()> query)
{
    m_scanRunning = query;
    m_pane->setScanRunningQuery(std::move(query));
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && !m_activatedOnce) {
        m_activatedOnce = true;
        // After the activation has been delivered: what follows hides the window.
        QTimer::singleShot(0, this, &MainWindow::firstActivated);
    }
    return DefinedWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    Q_EMIT closed();
    m_tray->remove();
    if (m_about)
        m_about->close();
    event->accept();
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

QFont MainWindow::classicGuiFont(QFont font, const QStringList& installed)
{
    font.setPixelSize(12);
    for (QStringView family : font::kWindowsFamilies) {
        if (installed.contains(family.toString(), Qt::CaseInsensitive)) {
            font.setFamily(family.toString());
            break;
        }
    }
    return font;
}

QSize MainWindow::startUpSize()
{
    const QSize full = mainWindowDef().size;
    return {full.width(), full.height() - 22};
}

void MainWindow::applyStartUpGeometry()
{
    centreOnScreen(definition().size);
    setFixedSize(startUpSize());
}

void MainWindow::setTitleCaption(const QString& caption)
{
    control<FlatLabel>(name::kTitleBar)->setCaption(caption);
    setAccessibleName(caption); // the frameless window is named by its title bar
}

void MainWindow::showHint(const QString& hint)
{
    const bool scanning = m_scanRunning && m_scanRunning();
    control<FlatLabel>(name::kStatusLine)
        ->setCaption(scanning ? hint + texts::kScanRunning.toString() : hint);
}

void MainWindow::showAbout()
{
    if (!m_about) {
        m_about = new AboutWindow(this);
        m_about->show();
    } else if (m_about->isMinimized()) {
        m_about->showNormal();
    }
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::openAdvertisedPage()
{
    const QUrl url(product::kAdvertisedHost.toString() + product::kAdvertisedPath.toString());
    if (!QDesktopServices::openUrl(url))
        qCDebug(lcUi) << "no handler for" << url;
}

} // namespace zeph::ui
