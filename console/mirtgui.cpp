#include "console/mirtgui.h"

#include "console/attentionevents.h"
#include "console/callerhistorysource.h"
#include "console/chat.h"
#include "console/consoleaccess.h"
#include "console/consolelook.h"
#include "console/historymarks.h"
#include "console/infoedit.h"
#include "console/keyboard.h"
#include "console/lines.h"
#include "console/namecompleter.h"
#include "console/shortcuts.h"
#include "console/top.h"

#include <QApplication>
#include <QByteArray>
#include <QColor>
#include <QContextMenuEvent>
#include <QDebug>
#include <QGraphicsProxyWidget>
#include <QMenu>
#include <QPixmapCache>
#include <QProgressBar>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>

namespace {
const QRectF kSceneRect(0, 0, 1024, 768);
const int kRetryTickMs = 250;
// Ticks of the retry timer between two connection attempts (12.5 s).
const int kRetryTicks = 50;

// Every console keeps its line panels as cached images in the process-wide
// pixmap cache, about 2 MB at the scene's own size and more on a large
// screen, by the square of the device pixel ratio on a scaled one. With Qt's
// default of 10 MB, a few open consoles would push each other's panels out
// on every blink and draw them anew each time, so the cache grows with the
// number of consoles opened.
const int kPixmapCacheBaseKb = 10240;
const int kPixmapCachePerConsoleKb = 6144;
int openConsoles = 0;
} // namespace

MIRTGui::MIRTGui(QString address, int port, QString username, QString password)
    : m_address(address)
    , m_port(port)
    , m_username(username)
    , m_password(password)
    , m_consoleScene(kSceneRect)
    , m_consoleView(&m_consoleScene, nullptr)
    , m_connectionScene(kSceneRect)
    , m_connectionView(&m_connectionScene, nullptr)
    , m_connectionPanel(1024, 768)
    , m_progress(new QProgressBar)
    , m_settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"))
    , m_unitKey(QStringLiteral("%1:%2").arg(address).arg(port))
{
    ++openConsoles;
    const qreal ratio = qGuiApp->devicePixelRatio();
    const int perConsoleKb = qRound(kPixmapCachePerConsoleKb * ratio * ratio);
    QPixmapCache::setCacheLimit(std::max(QPixmapCache::cacheLimit(), kPixmapCacheBaseKb + perConsoleKb * openConsoles));

    setupViewScene(m_connectionView, m_connectionScene);
    setupViewScene(m_consoleView, m_consoleScene);

    buildPalette();
    m_connectionScene.setPalette(m_palette);
    m_consoleScene.setPalette(m_palette);

    m_connectionScene.addItem(&m_connectionPanel);

    m_progress->resize(490, 25);
    m_progress->move(267, 440);
    m_progress->setTextVisible(false);
    m_progress->setRange(0, kRetryTicks);
    // The style is not parented by the widget; the bar owns it from here on.
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (fusion) {
        fusion->setParent(m_progress);
        m_progress->setStyle(fusion);
    }
    QGraphicsProxyWidget* proxy = m_connectionScene.addWidget(m_progress);
    proxy->setZValue(1.0);

    // The controllers of the live console, each placing its panels in the
    // console scene and listening to the session. InfoEdit and Top follow
    // the line selection of Lines, so Lines comes first.
    m_lines = std::make_unique<Lines>(m_consoleScene, m_session);
    m_consoleView.setOpaqueAreas([this] { return m_lines ? m_lines->opaqueAreas() : QVector<QRectF>(); });
    m_chat = std::make_unique<Chat>(m_consoleScene, m_session);
    m_infoEdit = std::make_unique<InfoEdit>(m_consoleScene, m_session, *m_lines);
    // Before this console connects to the session's state changes: the
    // surface association must reach the unit ahead of "resync".
    m_top = std::make_unique<Top>(this, m_consoleScene, m_palette, m_session, *m_lines);
    m_keyboard = std::make_unique<Keyboard>(m_consoleView, m_consoleScene, *m_lines, *m_top, *m_infoEdit, *m_chat);
    connect(m_keyboard.get(), &Keyboard::callLogRequested, this, &MIRTGui::callLogRequested);
    connect(m_keyboard.get(), &Keyboard::callerHistoryRequested, this, &MIRTGui::callerHistoryRequested);
    connect(m_lines.get(), &Lines::lineSelected, this, &MIRTGui::selectedCallerChanged);
    connect(m_lines.get(), &Lines::ancillaryChanged, this, [this](uint line, LineAttributes&, bool) {
        if (m_lines->hasSelection() && line == m_lines->selectedLine())
            emit selectedCallerChanged();
    });
    m_attentionEvents = std::make_unique<AttentionEvents>(m_session);
    m_access = std::make_unique<ConsoleAccess>(m_consoleView, m_session, *m_attentionEvents, *m_lines, *m_top,
                                               *m_infoEdit, *m_chat, *m_keyboard);
    m_marks = std::make_unique<HistoryMarks>(*m_lines, *m_infoEdit);
    m_completer = std::make_unique<NameCompleter>(m_consoleView, m_consoleScene, *m_infoEdit, *m_lines);
    m_consoleView.viewport()->installEventFilter(this);
    m_connectionView.viewport()->installEventFilter(this);

    m_connectionView.show();

    connect(&m_session, &IPCObject::changedState, this, &MIRTGui::ipcChangedState);
    connect(&m_session, &IPCObject::error, this, &MIRTGui::ipcError);
    connect(&m_retryTimer, &QTimer::timeout, this, &MIRTGui::connectTimer);
    connect(&m_consoleView, &CustomGraphicsView::closing, this, &MIRTGui::handleViewClosing);
    connect(&m_connectionView, &CustomGraphicsView::closing, this, &MIRTGui::handleViewClosing);

    tryConnect();
}

MIRTGui::~MIRTGui()
{
    // The session is destroyed last and may still report a state change as
    // its socket goes; by then the rest of this console is gone.
    QObject::disconnect(&m_session, nullptr, this, nullptr);
    m_retryTimer.stop();
    --openConsoles;
}

int MIRTGui::progressValue() const
{
    return m_progress->value();
}

int MIRTGui::progressMaximum() const
{
    return m_progress->maximum();
}

void MIRTGui::setupViewScene(QGraphicsView& view, QGraphicsScene& scene)
{
    scene.setBackgroundBrush(ConsoleLook::background(false));
    // The scene's solid background fills every part of the view that is
    // painted, so the viewport's own fill under it (there to speed up
    // scrolling, and this view never scrolls) is a second fill of each
    // blinking lamp's part for nothing.
    view.viewport()->setAutoFillBackground(false);
    view.viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    view.setRenderHint(QPainter::Antialiasing, true);
    view.setWindowTitle(QStringLiteral("Ardeno MIRT Orvel"));
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const QByteArray geometry = m_settings.value(QStringLiteral("%1/geometry").arg(m_unitKey)).toByteArray();
    if (!geometry.isEmpty())
        view.restoreGeometry(geometry);
}

void MIRTGui::buildPalette()
{
    m_palette = QApplication::style()->standardPalette();

    struct Entry
    {
        QPalette::ColorRole role;
        QColor active;
        QColor inactive; // invalid: left as the style has it
        QColor disabled;
    };
    const Entry entries[] = {
        {QPalette::Window, QColor(204, 204, 238), QColor(204, 204, 238), QColor(187, 187, 221)},
        {QPalette::Text, QColor(17, 17, 34), QColor(119, 119, 136), QColor(187, 187, 221)},
        {QPalette::Button, QColor(221, 221, 255), QColor(), QColor(187, 187, 221)},
        {QPalette::ButtonText, QColor(0, 0, 0), QColor(), QColor(51, 51, 85)},
        {QPalette::Light, QColor(238, 238, 255), QColor(), QColor(221, 221, 238)},
        {QPalette::Midlight, QColor(224, 224, 255), QColor(), QColor(208, 208, 224)},
        {QPalette::Dark, QColor(204, 204, 238), QColor(), QColor(187, 187, 221)},
        {QPalette::Mid, QColor(208, 208, 240), QColor(), QColor(192, 192, 224)},
        {QPalette::Shadow, QColor(51, 51, 85), QColor(), QColor(51, 51, 85)},
        {QPalette::Base, QColor(255, 255, 255), QColor(), QColor(221, 221, 255)},
        {QPalette::Highlight, QColor(0, 102, 255), QColor(), QColor(0, 51, 204)},
    };
    for (const Entry& e : entries) {
        m_palette.setColor(QPalette::Active, e.role, e.active);
        if (e.inactive.isValid())
            m_palette.setColor(QPalette::Inactive, e.role, e.inactive);
        m_palette.setColor(QPalette::Disabled, e.role, e.disabled);
    }
}

void MIRTGui::setHighContrast(bool on)
{
    ConsoleLook::setHighContrast(m_consoleScene, on);
    ConsoleLook::setHighContrast(m_connectionScene, on);
}

bool MIRTGui::highContrast() const
{
    return ConsoleLook::isHighContrast(&m_consoleScene);
}

bool MIRTGui::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ContextMenu)
        return false;
    for (CustomGraphicsView* view : {&m_consoleView, &m_connectionView}) {
        if (watched != view->viewport())
            continue;
        auto* e = static_cast<QContextMenuEvent*>(event);
        // An embedded widget (the chat, the caller editor) brings its own menu.
        const QList<QGraphicsItem*> items = view->items(e->pos());
        if (std::any_of(items.begin(), items.end(), [](const QGraphicsItem* item) { return item->isWidget(); }))
            return false;
        auto* menu = new QMenu(view);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        emit contextMenu(menu);
        if (m_history && view == &m_consoleView) {
            QAction* history = menu->addAction(tr("Caller History"));
            // Shown beside the entry; Ctrl+H itself is the keyboard's.
            history->setShortcut(shortcuts::of(ShortcutAction::CallerHistory).sequence());
            history->setShortcutContext(Qt::WidgetShortcut);
            history->setObjectName(QStringLiteral("actionCallerHistory"));
            connect(history, &QAction::triggered, this, &MIRTGui::callerHistoryRequested);
        }
        if (!menu->isEmpty())
            menu->addSeparator();
        QAction* contrast = menu->addAction(tr("High Contrast"));
        contrast->setCheckable(true);
        contrast->setChecked(highContrast());
        connect(contrast, &QAction::toggled, this, [this](bool on) {
            setHighContrast(on);
            emit highContrastChosen(on);
        });
        menu->popup(e->globalPos());
        return true;
    }
    return false;
}

void MIRTGui::setCallerHistory(CallerHistorySource* source)
{
    m_history = source;
    m_marks->setSource(source);
    m_completer->setSource(source);
}

CallerHistorySource* MIRTGui::callerHistory() const
{
    return m_history;
}

QString MIRTGui::selectedCallerName() const
{
    const LineAttributes* a = m_lines->hasSelection() ? m_lines->attributes(m_lines->selectedLine()) : nullptr;
    return a ? a->name : QString();
}

QString MIRTGui::selectedCallerLocation() const
{
    const LineAttributes* a = m_lines->hasSelection() ? m_lines->attributes(m_lines->selectedLine()) : nullptr;
    return a ? a->location : QString();
}

void MIRTGui::setPassword(QString password)
{
    m_password = password;
    m_awaitingPassword = false;
    tryConnect();
}

void MIRTGui::saveGeometry()
{
    qDebug() << "saving geometry";
    m_settings.setValue(QStringLiteral("%1/geometry").arg(m_unitKey), m_consoleView.saveGeometry());
}

void MIRTGui::disconnect()
{
    m_shutDown = true;
    m_retryTimer.stop();
    m_session.disconnectIPC();
}

void MIRTGui::selectLine(unsigned line)
{
    if (line < m_lines->count())
        m_lines->panelSelected(line);
}

void MIRTGui::tryConnect()
{
    if (m_shutDown)
        return;
    m_progress->setValue(0);
    m_retryTimer.setSingleShot(false);
    m_retryTimer.start(kRetryTickMs);
    // The session sends the port as 16 bits; a port out of range would
    // reach a different service on the unit's host, so it goes as 0, which
    // fails with an error on the connection screen.
    const unsigned int port = (m_port > 0 && m_port <= 65535) ? static_cast<unsigned int>(m_port) : 0u;
    m_session.connectIPC(m_address, port, m_password, m_username);
}

void MIRTGui::connectTimer()
{
    if (m_progress->value() != kRetryTicks)
        m_progress->setValue(m_progress->value() + 1);
    else
        tryConnect();
}

void MIRTGui::setOnline(bool online)
{
    // Once shut down the console is being deleted; do not bring its windows
    // back up on the session's last state change.
    if (m_shutDown)
        return;
    m_consoleView.setVisible(online);
    m_connectionView.setVisible(!online);
    m_consoleView.update();
    m_connectionView.update();
}

void MIRTGui::ipcChangedState(IPCObject::IPC_STATE state)
{
    qDebug() << "ipc state=" << static_cast<int>(state);

    switch (state) {
    case IPCObject::IPC_DISCONNECTED:
        m_connectionPanel.setStatus(tr("Disconnected."));
        // Keeps the bar where it is: the next attempt comes when it is full.
        if (!m_shutDown && !m_awaitingPassword)
            m_retryTimer.start(kRetryTickMs);
        setOnline(false);
        break;
    case IPCObject::IPC_CONNECTING:
        m_connectionPanel.setStatus(tr("Connecting..."));
        setOnline(false);
        break;
    case IPCObject::IPC_LOGGING_IN:
        m_connectionPanel.setStatus(tr("Logging in..."));
        setOnline(false);
        break;
    case IPCObject::IPC_LOGIN_FAILED:
        m_connectionPanel.setStatus(tr("Incorrect password."));
        setOnline(false);
        m_retryTimer.stop();
        m_progress->setValue(m_progress->maximum());
        m_awaitingPassword = true;
        // Queued: the main window answers with a modal dialog, which must
        // not run inside the session's receive path (the session would be
        // reconnected, or this console deleted, under its own feet).
        QMetaObject::invokeMethod(
            this,
            [this]() {
                if (m_awaitingPassword && !m_shutDown)
                    emit requestPassword(m_address, m_port);
            },
            Qt::QueuedConnection);
        break;
    case IPCObject::IPC_LOGGED_IN:
        m_connectionPanel.setStatus(tr("Logged in."));
        setOnline(false);
        break;
    case IPCObject::IPC_READY:
        m_connectionPanel.setStatus(tr("Ready."));
        m_retryTimer.stop();
        setOnline(true);
        break;
    default:
        break;
    }
    describeConnection();
}

void MIRTGui::ipcError(QString text)
{
    m_connectionPanel.setError(tr("Error: %1").arg(text));
    describeConnection();
}

void MIRTGui::describeConnection()
{
    // What the connection screen shows, for a screen reader.
    const QString status = m_connectionPanel.status();
    const QString error = m_connectionPanel.error();
    const QString said = error.isEmpty() ? status : QStringLiteral("%1 %2").arg(status, error);
    if (m_connectionView.accessibleDescription() != said)
        m_connectionView.setAccessibleDescription(said);
}

void MIRTGui::handleViewClosing()
{
    saveGeometry();
    emit closing(m_address, m_port);
}
