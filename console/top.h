#pragma once

#include "console/colorbutton.h"
#include "console/miscbutton.h"
#include "console/surface.h"
#include "console/toppanel.h"
#include "ipc/ipcobject.h"
#include "unit/surfacestatus.h"

#include <QMenuBar>
#include <QObject>
#include <QPointer>

#include <array>
#include <cstdint>

class Lines;
class MIRTGui;
class Message;
class QAction;
class QActionGroup;
class QGraphicsScene;
class QMenu;
class QPalette;
struct LineAttributes;

// The strip across the top of the console: NEXT, BUSY, PRIO and AA act on the
// unit as a whole, and the "Surfaces" menu chooses which control surface of
// the unit this console stands for. That choice is announced to the unit and
// to the line model, which decides what the line buttons may do.
// Created and deleted by the console window; holds its drawn items by value.
class Top : public QObject
{
    Q_OBJECT

public:
    enum { SurfaceCount = SurfaceStatus::Count, UnitSurfaces = 4, NoSurface = 6 };

    Top(MIRTGui* console, QGraphicsScene& scene, QPalette& palette, IPCObject& session, Lines& lines);
    ~Top() override;

    unsigned current() const { return m_current; }
    bool isAssociated() const { return m_associated; }
    // The unit reported its idle lines busied out (BUSY shows "UN-BUSY").
    bool isBusiedOut() const { return m_busiedOut; }
    // Null for an index outside the table.
    const Surface* surface(unsigned index) const;
    QAction* menuEntry(unsigned index) const;
    QMenuBar* menuBar() const { return m_menuBar; }
    QMenu* menu() const { return m_menu; }
    MiscButton& nextButton() { return m_next; }
    MiscButton& busyButton() { return m_busy; }
    MiscButton& prioButton() { return m_prio; }
    ColorButton& aaButton() { return m_aa; }
    const TopPanel& panel() const { return m_panel; }

signals:
    void associationChanged(bool associated, Surface* surface);

public slots:
    void setLineNum(uint line, LineAttributes& attrs);
    void ipcRecvSystemStatus(const Message& msg);
    void ipcRecvSurfaceStatus(const Message& msg);
    void ipcRecvSetConfig(const Message& msg);
    void ipcChangedState(IPCObject::IPC_STATE state);
    void toggleAA();
    void toggleBusy();
    void toPriority();
    void nextToAir();
    void assocSurfaceChanged();

public:
    void changeAssociation();
    void handleAssociationButtonEnables();

private:
    // The current entry, or null when there is none.
    Surface* currentSurface();

    QGraphicsScene& m_scene;
    QPalette& m_palette;
    IPCObject& m_session;
    Lines& m_lines;
    std::array<Surface, SurfaceCount> m_surfaces;
    TopPanel m_panel;
    unsigned m_current;
    bool m_associated;
    bool m_lineSelected;
    unsigned m_selectedLine;
    bool m_aaEnabled;
    bool m_busiedOut;
    MiscButton m_next;
    MiscButton m_busy;
    MiscButton m_prio;
    ColorButton m_aa;
    // The scene's proxy owns the embedded menu bar once it is added; a guard
    // keeps us from deleting it twice if the scene goes first.
    QPointer<QMenuBar> m_menuBar;
    QMenu* m_menu;
    QActionGroup* m_group;
    std::array<QAction*, SurfaceCount> m_entries;
};
