#include "app/mainwindow.h"

#include "app/addunitdialog.h"
#include "app/callerhistorywindow.h"
#include "app/calllogwindow.h"
#include "app/logcallerhistory.h"
#include "app/requestpassworddialog.h"
#include "attention/consoleattention.h"
#include "calllog/calllog.h"
#include "console/mirtgui.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStringList>

#include <algorithm>

namespace {
const int kDefaultPort = 8080;
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
{
    m_ui->setupUi(this);
    m_ui->buttonConnect->setEnabled(false);
    m_ui->buttonAdd->setEnabled(true);
    m_ui->buttonRemove->setEnabled(false);
    m_ui->buttonCallLog->setEnabled(false);
    m_ui->labelCallLog->hide();
    m_ui->labelCallLog->setStyleSheet(QStringLiteral("color: #a00;"));

    connect(m_ui->buttonAdd, &QPushButton::clicked, this, &MainWindow::handleAdd);
    connect(m_ui->buttonRemove, &QPushButton::clicked, this, &MainWindow::handleRemove);
    connect(m_ui->buttonConnect, &QPushButton::clicked, this, &MainWindow::handleConnect);
    connect(m_ui->buttonCallLog, &QPushButton::clicked, this, [this] { showCallLog(); });

    QTableView* table = m_ui->tableUnits;
    table->setModel(&m_units);
    table->setColumnWidth(0, 225);
    table->setColumnWidth(1, 125);
    table->setColumnHidden(2, true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(table, &QTableView::clicked, this, &MainWindow::handleTableSelect);

    // The attention switches: a menu beside the title, over the buttons,
    // and the table's context menu for the unit under the pointer. Added
    // here rather than in the form, which keeps its widgets as they are.
    auto* options = new QPushButton(tr("Notifications"), this);
    options->setObjectName(QStringLiteral("buttonNotifications"));
    auto* optionsMenu = new QMenu(options);
    connect(optionsMenu, &QMenu::aboutToShow, this, [this, optionsMenu]() {
        optionsMenu->clear();
        const QModelIndexList selected = m_ui->tableUnits->selectionModel()->selectedRows(0);
        fillAttentionMenu(*optionsMenu, selected.isEmpty() ? QString() : cellText(selected.first().row(), 0));
    });
    options->setMenu(optionsMenu);
    m_ui->gridLayout->addWidget(options, 0, 1);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QTableView::customContextMenuRequested, this, &MainWindow::showTableMenu);
    // Keys on the table act on the row the keyboard is on as the buttons
    // beside it do. The buttons' enabled states still follow clicks only.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* connectKey = new QShortcut(key, table, nullptr, nullptr, Qt::WidgetShortcut);
        connect(connectKey, &QShortcut::activated, this, [this] {
            if (selectKeyboardRow())
                handleConnect();
        });
    }
    auto* removeKey = new QShortcut(QKeySequence(QKeySequence::Delete), table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(removeKey, &QShortcut::activated, this, [this] {
        if (selectKeyboardRow())
            handleRemove();
    });

    connect(&m_consoleOptions, &ConsoleOptions::changed, this, [this] {
        for (MIRTGui* console : qAsConst(m_consoles))
            console->setHighContrast(m_consoleOptions.highContrast());
    });

    m_units.load();
}

MainWindow::~MainWindow()
{
    delete m_callLogWindow;
    delete m_historyWindow;
    m_units.save();
    delete m_ui;
}

void MainWindow::setCallLog(CallLog* log)
{
    m_callLog = log;
    m_ui->buttonCallLog->setEnabled(log != nullptr);
    if (!log)
        return;
    const auto showStatus = [this](const QString& text) {
        m_ui->labelCallLog->setText(text);
        m_ui->labelCallLog->setVisible(!text.isEmpty());
    };
    connect(log, &CallLog::statusChanged, this, showStatus);
    showStatus(log->statusText());
}

void MainWindow::showCallerHistory(const QString& unitKey)
{
    if (!m_callLog)
        return;
    if (!m_historyWindow) {
        m_historySource = new LogCallerHistory(*m_callLog, this);
        m_historyWindow = new CallerHistoryWindow(*m_historySource, nullptr);
    }
    m_historyWindow->follow(m_consoles.value(unitKey));
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

void MainWindow::showCallLog(const QString& unitKey)
{
    if (!m_callLog)
        return;
    if (!m_callLogWindow)
        m_callLogWindow = new CallLogWindow(*m_callLog, nullptr);
    m_callLogWindow->setUnitFilter(unitKey);
    m_callLogWindow->show();
    m_callLogWindow->raise();
    m_callLogWindow->activateWindow();
}

QString MainWindow::cellText(int row, int column) const
{
    return m_units.data(m_units.index(row, column), Qt::DisplayRole).toString();
}

void MainWindow::handleQuit()
{
    QCoreApplication::quit();
}

void MainWindow::handleAdd()
{
    AddUnitDialog dialog(nullptr);
    if (dialog.exec() != QDialog::Accepted)
        return;

    int port = dialog.getPort();
    if (port == -1)
        port = kDefaultPort;

    const int row = m_units.rowCount();
    m_units.insertRows(row, 1);
    m_units.setData(m_units.index(row, 0), QStringLiteral("%1:%2").arg(dialog.getAddress()).arg(port), Qt::EditRole);
    m_units.setData(m_units.index(row, 1), dialog.getUsername(), Qt::EditRole);

    // Written at once, so a crash later in the run does not lose the unit.
    m_units.save();
}

void MainWindow::handleRemove()
{
    QMessageBox box(nullptr);
    box.setWindowTitle(tr("Remove Entry"));
    box.setText(tr("Are you sure you want to remove this entry?"));
    box.setInformativeText(tr("This cannot be undone."));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;

    // Highest row first, so earlier removals do not shift later ones.
    const QModelIndexList selected = m_ui->tableUnits->selectionModel()->selectedRows(0);
    QList<int> rows;
    for (const QModelIndex& index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : qAsConst(rows))
        m_units.removeRows(row, 1);

    m_ui->tableUnits->selectionModel()->clear();
    handleTableSelect(QModelIndex());

    m_units.save();
}

void MainWindow::handleConnect()
{
    const QModelIndexList selected = m_ui->tableUnits->selectionModel()->selectedRows(0);
    for (const QModelIndex& index : selected) {
        const QString key = cellText(index.row(), 0);
        const QStringList parts = key.split(QLatin1Char(':'), Qt::KeepEmptyParts);
        const QString username = cellText(index.row(), 1);
        QString password = cellText(index.row(), 2);
        if (password.isEmpty())
            password = QStringLiteral("tavrik"); // what a unit ships with
        if (parts.size() != 2)
            continue;

        const QString address = parts.at(0);
        const int port = parts.at(1).toInt(); // 0 when it is not a number
        if (!m_consoles.contains(key)) {
            auto* console = new MIRTGui(address, port, username, password);
            m_consoles.insert(key, console);
            // The console is known by the key it is filed under: a row
            // written by hand may spell its port differently ("host:08080"),
            // so the address and port it reports need not give that key back.
            connect(console, &MIRTGui::closing, this, [this, key] { closeConsole(key); });
            connect(console, &MIRTGui::requestPassword, this, [this, key] { askPassword(key); });
            // A child of the console: it goes when the console goes.
            new ConsoleAttention(*console, key, m_notifier, m_attention);
            console->setHighContrast(m_consoleOptions.highContrast());
            connect(console, &MIRTGui::highContrastChosen, &m_consoleOptions, &ConsoleOptions::setHighContrast);
            connect(console, &MIRTGui::callLogRequested, this, [this, key] { showCallLog(key); });
            connect(console, &MIRTGui::callerHistoryRequested, this, [this, key] { showCallerHistory(key); });
            // Only listens: nothing the console sends changes.
            if (m_callLog) {
                m_callLog->attach(console->session(), key);
                // A child of the console: it goes when the console goes.
                console->setCallerHistory(new LogCallerHistory(*m_callLog, console));
            }
        }
        handleTableSelect(index);
    }
}

void MainWindow::fillAttentionMenu(QMenu& menu, const QString& unitKey)
{
    if (!unitKey.isEmpty()) {
        QAction* unit = menu.addAction(tr("Notify for %1").arg(unitKey));
        unit->setObjectName(QStringLiteral("actionUnitNotifications"));
        unit->setCheckable(true);
        unit->setChecked(m_attention.unitNotificationsEnabled(unitKey));
        unit->setEnabled(m_attention.notificationsEnabled());
        connect(unit, &QAction::toggled, this,
                [this, unitKey](bool on) { m_attention.setUnitNotificationsEnabled(unitKey, on); });
        menu.addSeparator();
    }
    QAction* all = menu.addAction(tr("Desktop Notifications"));
    all->setObjectName(QStringLiteral("actionNotifications"));
    all->setCheckable(true);
    all->setChecked(m_attention.notificationsEnabled());
    connect(all, &QAction::toggled, &m_attention, &AttentionSettings::setNotificationsEnabled);

    QAction* alert = menu.addAction(tr("Taskbar Alert"));
    alert->setObjectName(QStringLiteral("actionTaskbarAlert"));
    alert->setCheckable(true);
    alert->setChecked(m_attention.urgencyHintEnabled());
    connect(alert, &QAction::toggled, &m_attention, &AttentionSettings::setUrgencyHintEnabled);
}

void MainWindow::showTableMenu(const QPoint& pos)
{
    QTableView* table = m_ui->tableUnits;
    const QModelIndex index = table->indexAt(pos);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("menuAttention"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fillAttentionMenu(*menu, index.isValid() ? cellText(index.row(), 0) : QString());
    menu->popup(table->viewport()->mapToGlobal(pos));
}

bool MainWindow::selectKeyboardRow()
{
    QTableView* table = m_ui->tableUnits;
    if (table->selectionModel()->hasSelection())
        return true;
    // A table that takes the focus marks its first row as current without
    // selecting it; that row is the one the keys are on.
    const QModelIndex current = table->currentIndex();
    if (!current.isValid())
        return false;
    table->selectRow(current.row());
    return true;
}

void MainWindow::handleTableSelect(const QModelIndex& index)
{
    const bool valid = index.isValid();
    m_ui->buttonRemove->setEnabled(valid);
    const QString key = valid ? cellText(index.row(), 0) : QString();
    m_ui->buttonConnect->setEnabled(valid && !m_consoles.contains(key));
}

void MainWindow::handleMIRTWindowClosed(QString address, int port)
{
    qDebug() << "MIRT window closed" << address << port;
    closeConsole(QStringLiteral("%1:%2").arg(address).arg(port));
}

void MainWindow::handlePasswordRequest(QString address, int port)
{
    qDebug() << "MIRT window password request" << address << port;
    askPassword(QStringLiteral("%1:%2").arg(address).arg(port));
}

void MainWindow::closeConsole(const QString& key)
{
    MIRTGui* console = m_consoles.value(key);
    if (!console)
        return;
    qDebug() << "removing id" << key;
    m_consoles.remove(key);
    console->disconnect();
    console->deleteLater();

    const QModelIndexList selected = m_ui->tableUnits->selectionModel()->selectedRows(0);
    for (const QModelIndex& index : selected)
        handleTableSelect(index);
}

void MainWindow::askPassword(const QString& key)
{
    if (!m_consoles.value(key))
        return;

    // The console may be closed (and deleted) while the dialog is up; the
    // pointer then turns null instead of dangling.
    QPointer<MIRTGui> console = m_consoles.value(key);
    RequestPasswordDialog dialog(nullptr);
    if (dialog.exec() != QDialog::Accepted)
        return;

    const QString password = dialog.getPassword();
    if (dialog.getSavePassword()) {
        for (int row = 0; row < m_units.rowCount(); ++row) {
            if (cellText(row, 0) == key)
                m_units.setData(m_units.index(row, 2), password, Qt::EditRole);
        }
        m_units.save();
    }
    if (console && m_consoles.value(key) == console)
        console->setPassword(password);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    for (auto it = m_consoles.begin(); it != m_consoles.end(); ++it) {
        // Entries already shut down by an earlier close stay as null.
        if (!it.value())
            continue;
        qDebug() << "deleting" << it.key();
        it.value()->saveGeometry();
        it.value()->disconnect();
        it.value()->deleteLater();
        it.value() = nullptr;
    }
    if (m_callLogWindow)
        m_callLogWindow->close();
    if (m_historyWindow)
        m_historyWindow->close();
    QMainWindow::closeEvent(event);
}
