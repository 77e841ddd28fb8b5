#include "console/top.h"

#include "console/lines.h"
#include "unit/systemstatus.h"
#include "unit/unitcommands.h"

#include <QAction>
#include <QActionGroup>
#include <QGraphicsScene>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>

Top::Top(MIRTGui*, QGraphicsScene& scene, QPalette& palette, IPCObject& session, Lines& lines)
    : m_scene(scene)
    , m_palette(palette)
    , m_session(session)
    , m_lines(lines)
    , m_surfaces{}
    , m_panel(0, 0)
    , m_current(4)
    , m_associated(true)
    , m_lineSelected(false)
    , m_selectedLine(0)
    , m_aaEnabled(false)
    , m_busiedOut(false)
    , m_next(0, 0)
    , m_busy(0, 0)
    , m_prio(0, 0)
    , m_aa(false, 0, 0)
    , m_menu(nullptr)
    , m_group(nullptr)
    , m_entries{}
{
    m_panel.setPos(5, 5);
    m_scene.addItem(&m_panel);

    m_next.setLabel(QStringLiteral("NEXT"));
    m_next.setPos(15, 10);
    m_busy.setLabel(QStringLiteral("BUSY"));
    m_busy.setPos(70, 10);
    m_prio.setLabel(QStringLiteral("PRIO"));
    m_prio.setBaseSize(38);
    m_prio.setPos(125, 14);
    m_aa.setLabel(QStringLiteral("AA"));
    m_aa.setSize(30, 30);
    m_aa.setPos(175, 18);
    for (QGraphicsItem* item : {static_cast<QGraphicsItem*>(&m_next), static_cast<QGraphicsItem*>(&m_busy),
                                static_cast<QGraphicsItem*>(&m_prio), static_cast<QGraphicsItem*>(&m_aa)}) {
        item->setZValue(1.0);
        m_scene.addItem(item);
    }

    qRegisterMetaType<Surface>("Surface");
    qRegisterMetaType<Surface*>("Surface*");

    m_menuBar = new QMenuBar();
    m_menu = new QMenu(QStringLiteral("Surfaces"));
    m_group = new QActionGroup(this);
    m_group->setExclusive(true);
    for (unsigned i = 0; i < SurfaceCount; ++i) {
        QAction* entry = new QAction(QStringLiteral("%1: Unknown").arg(i + 1), m_group);
        entry->setCheckable(true);
        entry->setEnabled(false);
        m_menu->addAction(entry);
        m_group->addAction(entry);
        m_entries[i] = entry;
        m_surfaces[i].id = i;
    }

    m_menu->setPalette(m_palette);
    m_surfaces[4].online = true;
    m_surfaces[4].type = Surface::Studio;
    m_entries[4]->setText(QStringLiteral("NONE: Studio"));
    m_entries[4]->setEnabled(true);
    m_entries[4]->setChecked(true);
    m_surfaces[5].online = true;
    m_surfaces[5].type = Surface::Screener;
    m_entries[5]->setText(QStringLiteral("NONE: Screener"));
    m_entries[5]->setEnabled(true);
    m_menuBar->addMenu(m_menu);

    // Sized in scene units like every text the console draws, so the menu
    // keeps its place in the strip whatever the screen's resolution.
    const QFont font = SurfacePanel::surfaceFont(14, false);
    m_menuBar->setFont(font);
    m_menu->setFont(font);
    m_menuBar->move(700, 20);
    m_menuBar->setPalette(m_palette);
    m_menuBar->setStyleSheet(QStringLiteral("background-color: #ccccee;"));
    m_scene.addWidget(m_menuBar);

    // Connected only now, so that checking the initial entry above sends
    // nothing.
    connect(&m_lines, &Lines::lineSelected, this, &Top::setLineNum);
    connect(&m_session, &IPCObject::recvSystemStatus, this, &Top::ipcRecvSystemStatus);
    connect(&m_session, &IPCObject::recvSurfaceStatus, this, &Top::ipcRecvSurfaceStatus);
    connect(&m_session, &IPCObject::recvSetConfig, this, &Top::ipcRecvSetConfig);
    connect(&m_session, &IPCObject::changedState, this, &Top::ipcChangedState);
    connect(&m_next, &SurfaceButton::buttonPressed, this, &Top::nextToAir);
    connect(&m_busy, &SurfaceButton::buttonPressed, this, &Top::toggleBusy);
    connect(&m_prio, &SurfaceButton::buttonPressed, this, &Top::toPriority);
    connect(&m_aa, &SurfaceButton::buttonPressed, this, &Top::toggleAA);
    for (QAction* entry : m_entries)
        connect(entry, &QAction::toggled, this, &Top::assocSurfaceChanged);
    connect(this, &Top::associationChanged, &m_lines, &Lines::changeAssociation);
}

Top::~Top()
{
    // Nothing may react to the menu coming apart.
    for (QAction* entry : m_entries)
        disconnect(entry, nullptr, this, nullptr);
    // Deleting the embedded widget also removes its proxy from the scene.
    delete m_menuBar.data();
    delete m_menu;
    delete m_group;
}

const Surface* Top::surface(unsigned index) const
{
    return index < SurfaceCount ? &m_surfaces[index] : nullptr;
}

QAction* Top::menuEntry(unsigned index) const
{
    return index < SurfaceCount ? m_entries[index] : nullptr;
}

Surface* Top::currentSurface()
{
    return m_current < SurfaceCount ? &m_surfaces[m_current] : nullptr;
}

void Top::setLineNum(uint line, LineAttributes&)
{
    m_selectedLine = line;
    m_lineSelected = true;
}

void Top::ipcRecvSystemStatus(const Message& msg)
{
    const SystemStatus status = SystemStatus::read(msg);
    m_aaEnabled = status.aaEnabled;
    if (m_aaEnabled)
        m_aa.setLook(ColorButton::Steady, ColorButton::Red, ColorButton::Unlit);
    else
        m_aa.setLook(ColorButton::Steady, ColorButton::Unlit, ColorButton::Unlit);

    m_busiedOut = status.busiedOut;
    m_busy.setLabel(m_busiedOut ? QStringLiteral("UN-\nBUSY") : QStringLiteral("BUSY"));
}

void Top::ipcRecvSurfaceStatus(const Message& msg)
{
    // Entries 4 and 5 are updated by reports like the unit's four.
    SurfaceStatus status;
    if (SurfaceStatus::read(msg, SurfaceCount, status) != Refusal::None)
        return;
    const unsigned id = status.id;
    Surface& s = m_surfaces[id];
    s.online = status.online;

    if (!s.online && id == m_current) {
        // The uncheck announces the association once more, for the entry
        // that is going away and as no longer associated; only then is the
        // console left without a current entry.
        m_entries[id]->setChecked(false);
        m_current = NoSurface;
    }

    m_entries[id]->setEnabled(s.online);

    s.type = status.type;
    if (s.type == Surface::Studio)
        m_entries[id]->setText(QStringLiteral("%1: Studio").arg(id + 1));
    else if (s.type == Surface::Screener)
        m_entries[id]->setText(QStringLiteral("%1: Screener").arg(id + 1));
    else
        m_entries[id]->setText(s.online ? QStringLiteral("%1: Unknown").arg(id + 1)
                                        : QStringLiteral("%1: Offline").arg(id + 1));

    handleAssociationButtonEnables();
}

void Top::ipcRecvSetConfig(const Message& msg)
{
    m_current = UnitCommands::readSetConfig(msg);
    if (m_current >= SurfaceCount)
        m_current = 4;
    if (!m_entries[m_current]->isChecked())
        m_entries[m_current]->setChecked(true);
    changeAssociation();
    handleAssociationButtonEnables();
}

void Top::ipcChangedState(IPCObject::IPC_STATE state)
{
    // Each login starts a fresh session on the unit, which must learn again
    // which surface this console stands for.
    if (state == IPCObject::IPC_LOGGED_IN)
        changeAssociation();
}

void Top::changeAssociation()
{
    if (m_current >= UnitSurfaces)
        m_session.cmd_set_handset();
    else
        m_session.cmd_set_handset(m_current);

    m_session.send_message(UnitCommands::setConfig(m_current));

    emit associationChanged(m_associated, currentSurface());
}

void Top::assocSurfaceChanged()
{
    m_associated = false;
    for (unsigned i = 0; i < SurfaceCount; ++i) {
        if (m_entries[i]->isChecked()) {
            m_current = i;
            m_associated = true;
        }
    }
    changeAssociation();
    handleAssociationButtonEnables();
}

void Top::handleAssociationButtonEnables()
{
    const Surface* s = currentSurface();
    const bool studio = s && s->online && s->type == Surface::Studio;
    const bool screener = s && s->online && s->type == Surface::Screener;
    m_next.setVisible(studio);
    m_busy.setVisible(studio || screener);
    m_prio.setVisible(studio || screener);
}

void Top::nextToAir()
{
    const Surface* s = currentSurface();
    if (!m_associated || !s || s->type != Surface::Studio)
        return;
    m_session.send_message(UnitCommands::nextToAir());
}

void Top::toggleBusy()
{
    m_session.send_message(UnitCommands::busyAll(!m_busiedOut));
}

void Top::toPriority()
{
    if (!m_lineSelected)
        return;
    m_session.send_message(UnitCommands::lineFlag(UnitCommands::Flag::Priority, m_selectedLine, true));
}

void Top::toggleAA()
{
    m_session.send_message(UnitCommands::autoAttendant(!m_aaEnabled));
}
