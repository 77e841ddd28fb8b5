#include "app/calllogwindow.h"

#include "app/storagedialog.h"

#include "calllog/calllog.h"
#include "calllog/calltablemodel.h"
#include "support/qtcompat.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Range {
    Today,
    LastWeek,
    Everything,
    Custom,
};

Utf8Settings settings()
{
    return Utf8Settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
}

const char* const kRetentionKey = "callLog/retentionDays";
const char* const kSortKey = "callLog/sortColumn";
const char* const kSortDescendingKey = "callLog/sortDescending";

// The sort as kept in the settings: a word per key, so that a new column
// does not change what an older choice means.
const char* const kSortNames[]
    = {"time", "unit", "line", "name", "location", "topic", "wait", "onAir", "total", "outcome"};

bool sameFilter(const CallFilter& a, const CallFilter& b)
{
    return a.text == b.text && a.unitKey == b.unitKey && a.outcome == b.outcome && a.from == b.from && a.to == b.to;
}

QString callCount(int n)
{
    return n == 1 ? CallLogWindow::tr("1 call") : CallLogWindow::tr("%1 calls").arg(n);
}

qint64 startOfDay(const QDate& day)
{
    return QDateTime(day, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
}

} // namespace

CallLogWindow::CallLogWindow(CallLog& log, QWidget* parent)
    : QWidget(parent)
    , m_log(log)
    , m_model(new CallTableModel(this))
{
    setWindowTitle(tr("Call Log"));
    buildUi();

    m_searchDelay.setSingleShot(true);
    m_searchDelay.setInterval(250);
    connect(&m_searchDelay, &QTimer::timeout, this, &CallLogWindow::refreshWhenShown);
    connect(&m_log, &CallLog::queryFinished, this, &CallLogWindow::showResult);
    connect(&m_log, &CallLog::changed, this, &CallLogWindow::logChanged);
    connect(&m_log, &CallLog::statusChanged, this, &CallLogWindow::showError);
    connect(&m_log, &CallLog::retentionCounted, this, &CallLogWindow::confirmRetention);
    connect(&m_log, &CallLog::exportFinished, this, [this](int ticket, bool ok, int rows, const QString& error) {
        if (ticket != m_exportTicket)
            return;
        m_export->setEnabled(true);
        if (ok)
            m_status->setText(tr("Exported %1.").arg(callCount(rows)));
        else
            m_status->setText(tr("Export failed: %1").arg(error));
        emit exported(ok, rows, error);
    });
    showError(m_log.statusText());
    // The first search runs when the window is first shown.
}

CallLogWindow::~CallLogWindow() = default;

void CallLogWindow::buildUi()
{
    auto* layout = new QVBoxLayout(this);

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("labelCallLogError"));
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #a00; font-weight: bold;"));
    m_error->hide();
    layout->addWidget(m_error);

    auto* filters = new QHBoxLayout;
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("lineSearch"));
    m_search->setPlaceholderText(tr("Search name, location, topic and notes"));
    m_search->setClearButtonEnabled(true);
    filters->addWidget(m_search, 3);

    m_unit = new QComboBox(this);
    m_unit->setObjectName(QStringLiteral("comboUnit"));
    m_unit->addItem(tr("All units"), QString());
    filters->addWidget(m_unit, 1);

    m_outcome = new QComboBox(this);
    m_outcome->setObjectName(QStringLiteral("comboOutcome"));
    m_outcome->addItem(tr("All outcomes"), -1);
    m_outcome->addItem(tr("Missed"), int(CallRecord::Missed));
    m_outcome->addItem(tr("Answered"), int(CallRecord::Answered));
    m_outcome->addItem(tr("Aired"), int(CallRecord::Aired));
    m_outcome->addItem(tr("In progress"), int(CallRecord::Pending));
    filters->addWidget(m_outcome);

    m_range = new QComboBox(this);
    m_range->setObjectName(QStringLiteral("comboRange"));
    m_range->addItem(tr("Today"), int(Today));
    m_range->addItem(tr("Last 7 days"), int(LastWeek));
    m_range->addItem(tr("All"), int(Everything));
    m_range->addItem(tr("Custom"), int(Custom));
    m_range->setCurrentIndex(LastWeek);
    filters->addWidget(m_range);

    const QDate today = this->today();
    m_from = new QDateEdit(today.addDays(-6), this);
    m_from->setObjectName(QStringLiteral("dateFrom"));
    m_to = new QDateEdit(today, this);
    m_to->setObjectName(QStringLiteral("dateTo"));
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setEnabled(false);
    }
    filters->addWidget(m_from);
    filters->addWidget(new QLabel(QStringLiteral("–"), this));
    filters->addWidget(m_to);
    layout->addLayout(filters);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    m_table = new QTableView(splitter);
    m_table->setObjectName(QStringLiteral("tableCalls"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);
    // By the pixel, so that a row kept in place during live updates stays
    // exactly where it was.
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->installEventFilter(this);
    {
        const Utf8Settings kept = settings();
        const QString key = kept.value(QLatin1String(kSortKey)).toString();
        for (int k = 0; k < int(sizeof(kSortNames) / sizeof(kSortNames[0])); ++k)
            if (key == QLatin1String(kSortNames[k]))
                m_sort.key = CallSort::Key(k);
        m_sort.descending = kept.value(QLatin1String(kSortDescendingKey), true).toBool();
    }
    // The model sorts nothing itself: a click on a header asks the log.
    m_table->setSortingEnabled(true);
    m_table->horizontalHeader()->setSortIndicator(CallTableModel::sortColumn(m_sort.key),
                                                  m_sort.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    // Wide enough for what the columns hold, so Total and Outcome stay in sight.
    const QFontMetrics metrics = m_table->fontMetrics();
    const auto width = [&](const char* sample) { return metrics.horizontalAdvance(QLatin1String(sample)) + 14; };
    const int widths[] = {width("0000-00-00 00:00:00"),
                          width("000.000.000.000:00000"),
                          width("Line"),
                          width("Margaret Smith"),
                          width("Harbour Street"),
                          width("Football results"),
                          width("00:00"),
                          width("On air"),
                          width("00:00")};
    for (int c = 0; c < int(sizeof(widths) / sizeof(widths[0])); ++c)
        m_table->setColumnWidth(c, widths[c]);

    auto* side = new QWidget(splitter);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    m_details = new QLabel(side);
    m_details->setObjectName(QStringLiteral("labelDetails"));
    m_details->setWordWrap(true);
    m_details->setTextFormat(Qt::PlainText);
    m_details->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sideLayout->addWidget(m_details);
    sideLayout->addWidget(new QLabel(tr("Notes"), side));
    m_notes = new QPlainTextEdit(side);
    m_notes->setObjectName(QStringLiteral("textNotes"));
    // Nothing saves what would be typed here: the notes are the screener's,
    // written at the console. Read-only, but the keyboard can move and
    // select in them.
    m_notes->setReadOnly(true);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_notes->setTabChangesFocus(true);
    sideLayout->addWidget(m_notes, 1);
    splitter->addWidget(m_table);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 4);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("labelCount"));
    layout->addWidget(m_count);

    m_days = new QTableWidget(0, 6, this);
    m_days->setObjectName(QStringLiteral("tableDays"));
    m_days->setHorizontalHeaderLabels(
        {tr("Day"), tr("Calls"), tr("Answered"), tr("Aired"), tr("Missed"), tr("Mean wait")});
    m_days->verticalHeader()->hide();
    m_days->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_days->setSelectionMode(QAbstractItemView::NoSelection);
    m_days->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_days->setMaximumHeight(130);
    layout->addWidget(m_days);

    auto* buttons = new QHBoxLayout;
    m_export = new QPushButton(tr("&Export CSV..."), this);
    m_export->setObjectName(QStringLiteral("buttonExport"));
    buttons->addWidget(m_export);
    m_delete = new QPushButton(tr("&Delete Selected"), this);
    m_delete->setObjectName(QStringLiteral("buttonDelete"));
    m_delete->setEnabled(false);
    buttons->addWidget(m_delete);
    // Where the log lives: this computer's file or the station's server.
    auto* storage = new QPushButton(tr("Storage..."), this);
    storage->setObjectName(QStringLiteral("buttonStorage"));
    buttons->addWidget(storage);
    connect(storage, &QPushButton::clicked, this, [this] {
        StorageDialog dialog(StorageChoice::saved(), m_log.path(), this);
        dialog.exec();
    });
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("labelStatus"));
    buttons->addWidget(m_status, 1);
    auto* keepLabel = new QLabel(tr("&Keep calls for"), this);
    buttons->addWidget(keepLabel);
    m_retention = new QSpinBox(this);
    keepLabel->setBuddy(m_retention);
    m_retention->setObjectName(QStringLiteral("spinRetention"));
    m_retention->setRange(1, 3650);
    m_retention->setSuffix(tr(" days"));
    m_retention->setValue(retentionDays());
    m_retention->setToolTip(tr("Older calls are deleted when the program starts and once a day."));
    // A turn of the mouse wheel over the window must not delete calls: the
    // box takes the wheel only when it has the focus, and a lower value is
    // asked about once the typing or clicking has stopped.
    m_retention->setFocusPolicy(Qt::StrongFocus);
    m_retention->setKeyboardTracking(false);
    m_retention->installEventFilter(this);
    buttons->addWidget(m_retention);
    m_retentionDelay.setSingleShot(true);
    m_retentionDelay.setInterval(700);
    connect(&m_retentionDelay, &QTimer::timeout, this, &CallLogWindow::retentionEdited);
    layout->addLayout(buttons);

    resize(1200, 650);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    connect(m_search, &QLineEdit::textChanged, this, [this] { m_searchDelay.start(); });
    connect(m_unit, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        m_wantedUnit = m_unit->currentData().toString();
        refreshWhenShown();
    });
    connect(m_outcome, qOverload<int>(&QComboBox::currentIndexChanged), this, &CallLogWindow::refreshWhenShown);
    connect(m_range, qOverload<int>(&QComboBox::currentIndexChanged), this, &CallLogWindow::rangeChanged);
    connect(m_from, &QDateEdit::dateChanged, this, &CallLogWindow::refreshWhenShown);
    connect(m_to, &QDateEdit::dateChanged, this, &CallLogWindow::refreshWhenShown);
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, &CallLogWindow::sortChanged);

    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CallLogWindow::showDetails);
    connect(m_export, &QPushButton::clicked, this, &CallLogWindow::chooseExportFile);
    connect(m_delete, &QPushButton::clicked, this, &CallLogWindow::deleteSelected);
    connect(m_retention, qOverload<int>(&QSpinBox::valueChanged), this, [this] { m_retentionDelay.start(); });
}

int CallLogWindow::retentionDays()
{
    bool ok = false;
    const int days = settings().value(QLatin1String(kRetentionKey), CallLog::DefaultRetentionDays).toInt(&ok);
    return ok && days > 0 ? days : CallLog::DefaultRetentionDays;
}

void CallLogWindow::setRetentionDays(int days)
{
    settings().setValue(QLatin1String(kRetentionKey), days);
}

bool CallLogWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_retention && event->type() == QEvent::Wheel && !m_retention->hasFocus()) {
        event->ignore();
        return true;
    }
    // The table's own keys: before the view, which would copy one cell and
    // take Return as a mere activation.
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy)) {
            copySelected();
            return true;
        }
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            deleteSelected();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            showNotes();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool CallLogWindow::onScreen() const
{
    return isVisible() && !isMinimized();
}

QDate CallLogWindow::today() const
{
    return QDateTime::fromMSecsSinceEpoch(m_log.now(), Qt::LocalTime).date();
}

void CallLogWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_stale)
        refresh();
}

void CallLogWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && m_stale && onScreen())
        refresh();
}

void CallLogWindow::refreshWhenShown()
{
    if (onScreen()) {
        refresh();
        return;
    }
    m_searchDelay.stop();
    m_stale = true;
}

void CallLogWindow::logChanged()
{
    if (!onScreen()) {
        m_stale = true;
        return;
    }
    // Changes come a few times a second during a show: while one search is
    // on its way, the next waits for its answer and covers them all.
    if (m_waiting) {
        m_changedMeanwhile = true;
        return;
    }
    refresh();
}

void CallLogWindow::sortChanged(int column, Qt::SortOrder order)
{
    CallSort sort;
    sort.key = CallTableModel::sortKey(column);
    sort.descending = order == Qt::DescendingOrder;
    if (sort == m_sort)
        return;
    m_sort = sort;
    Utf8Settings kept = settings();
    kept.setValue(QLatin1String(kSortKey), QLatin1String(kSortNames[m_sort.key]));
    kept.setValue(QLatin1String(kSortDescendingKey), m_sort.descending);
    refreshWhenShown();
}

void CallLogWindow::copySelected()
{
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& index : qAsConst(rows)) {
        QStringList cells;
        for (int column = 0; column < m_model->columnCount(); ++column) {
            QString cell = m_model->data(m_model->index(index.row(), column)).toString();
            // One row a line, one cell a column where it is pasted.
            for (QChar& c : cell)
                if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                    c = QLatin1Char(' ');
            cells << cell;
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void CallLogWindow::showNotes()
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid())
        return;
    m_table->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_notes->setFocus(Qt::OtherFocusReason);
}

void CallLogWindow::retentionEdited()
{
    const int days = m_retention->value();
    if (days >= retentionDays()) {
        setRetentionDays(days);
        m_log.setRetentionDays(days);
        return;
    }
    m_retentionTicket = m_log.countRetention(days);
    m_retentionAsked = days;
}

void CallLogWindow::confirmRetention(int ticket, int calls, const QString& refused)
{
    if (ticket != m_retentionTicket || m_retentionAsked != m_retention->value())
        return;
    m_retentionTicket = 0;
    const int days = m_retentionAsked;
    QMessageBox box(this);
    box.setWindowTitle(tr("Keep Calls"));
    box.setText(tr("Keep calls for %1 days only?").arg(days));
    if (calls < 0)
        box.setInformativeText(tr("The log cannot count the calls now (%1).").arg(refused));
    else if (!refused.isEmpty())
        box.setInformativeText(tr("No calls are deleted now: %1.").arg(refused));
    else if (calls == 0)
        box.setInformativeText(tr("No calls are old enough to be deleted now."));
    else
        box.setInformativeText(calls == 1 ? tr("This deletes 1 call now. It cannot be undone.")
                                          : tr("This deletes %1 calls now. It cannot be undone.").arg(calls));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() == QMessageBox::Yes && m_retention->value() == days) {
        setRetentionDays(days);
        m_log.setRetentionDays(days);
        return;
    }
    const QSignalBlocker quiet(m_retention);
    m_retention->setValue(retentionDays());
}

void CallLogWindow::setUnitFilter(const QString& unitKey)
{
    m_wantedUnit = unitKey;
    int index = m_unit->findData(unitKey);
    const QSignalBlocker quiet(m_unit);
    if (index < 0) {
        m_unit->addItem(unitKey, unitKey);
        index = m_unit->count() - 1;
    }
    m_unit->setCurrentIndex(index);
    refreshWhenShown();
}

QString CallLogWindow::unitFilter() const
{
    return m_unit->currentData().toString();
}

void CallLogWindow::rangeChanged()
{
    const bool custom = m_range->currentData().toInt() == Custom;
    m_from->setEnabled(custom);
    m_to->setEnabled(custom);
    refreshWhenShown();
}

CallFilter CallLogWindow::filter() const
{
    CallFilter f;
    f.text = m_search->text();
    f.unitKey = unitFilter();
    f.outcome = m_outcome->currentData().toInt();
    const QDate today = this->today();
    switch (m_range->currentData().toInt()) {
    case Today:
        f.from = startOfDay(today);
        break;
    case LastWeek:
        f.from = startOfDay(today.addDays(-6));
        break;
    case Custom:
        f.from = startOfDay(std::min(m_from->date(), m_to->date()));
        f.to = startOfDay(std::max(m_from->date(), m_to->date()).addDays(1));
        break;
    default:
        break;
    }
    return f;
}

void CallLogWindow::refresh()
{
    m_searchDelay.stop();
    m_stale = false;
    m_changedMeanwhile = false;
    m_waiting = true;
    m_askedFilter = filter();
    m_askedSort = m_sort;
    m_queryTicket = m_log.query(m_askedFilter, RowLimit, m_sort);
}

void CallLogWindow::showError(const QString& text)
{
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
}

void CallLogWindow::showResult(int ticket, const CallQueryResult& result)
{
    if (ticket != m_queryTicket)
        return;
    m_waiting = false;
    const CallFilter answeredFilter = m_askedFilter;
    const CallSort answeredSort = m_askedSort;
    if (m_changedMeanwhile) {
        // This answer is already out of date: ask again, show this meanwhile.
        if (onScreen())
            refresh();
        else
            m_stale = true;
    }
    if (!result.ok) {
        // The rows shown stay; only this search failed.
        m_count->setText(tr("The search failed: %1").arg(result.error));
        emit refreshed();
        return;
    }

    // The unit list: every unit in the file, those open now and the one
    // asked for.
    QStringList units = result.units;
    units << m_log.unitKeys();
    if (!m_wantedUnit.isEmpty())
        units << m_wantedUnit;
    setUnits(units);

    const bool sameSearch = m_showsRows && sameFilter(answeredFilter, m_shownFilter) && answeredSort == m_shownSort;
    showRows(result.rows, sameSearch);
    m_shownFilter = answeredFilter;
    m_shownSort = answeredSort;
    m_showsRows = true;
    showDetails();

    if (result.matching > result.rows.size())
        m_count->setText(limitText(result.rows.size(), result.matching));
    else
        m_count->setText(callCount(result.matching));

    m_days->setRowCount(result.days.size());
    for (int row = 0; row < result.days.size(); ++row) {
        const DayTotals& d = result.days.at(row);
        const QStringList cells = {d.day.toString(QStringLiteral("ddd yyyy-MM-dd")),
                                   QString::number(d.calls),
                                   QString::number(d.answered),
                                   QString::number(d.aired),
                                   QString::number(d.missed),
                                   CallTableModel::duration(d.meanWaitMs)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells.at(c));
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_days->setItem(row, c, item);
        }
    }
    emit refreshed();
}

void CallLogWindow::setUnits(QStringList units)
{
    units.removeDuplicates();
    units.sort();
    QStringList listed;
    for (int i = 1; i < m_unit->count(); ++i)
        listed << m_unit->itemData(i).toString();
    // Left alone when nothing changed: an open list stays open.
    if (listed == units)
        return;
    const QString current = m_unit->currentData().toString();
    const QSignalBlocker quiet(m_unit);
    while (m_unit->count() > 1)
        m_unit->removeItem(1);
    for (const QString& unit : qAsConst(units))
        m_unit->addItem(unit, unit);
    m_unit->setCurrentIndex(std::max(0, m_unit->findData(current)));
}

void CallLogWindow::showRows(const QVector<CallRecord>& rows, bool sameSearch)
{
    QItemSelectionModel* selection = m_table->selectionModel();
    if (sameSearch) {
        // A newer answer to the same search: merged row by row, so the
        // selection and the current row follow their calls. The call at the
        // top of the view stays there once the user scrolled or selected;
        // otherwise the view shows the newest rows as they come.
        QScrollBar* bar = m_table->verticalScrollBar();
        const int top = m_table->rowAt(0);
        const bool anchored = top >= 0 && (bar->value() > 0 || selection->hasSelection());
        const qint64 anchor = anchored ? m_model->record(top).id : 0;
        const int offset = anchored ? m_table->rowViewportPosition(top) : 0;
        m_model->updateRows(rows);
        if (!anchored)
            return;
        for (int row = 0; row < m_model->rowCount(); ++row) {
            if (m_model->record(row).id == anchor) {
                m_table->doItemsLayout();
                bar->setValue(m_table->verticalHeader()->sectionPosition(row) - offset);
                break;
            }
        }
        return;
    }
    // Another search: the selection and the current row survive it call
    // by call where the calls are still listed.
    QSet<QString> selected;
    for (const QModelIndex& index : selection->selectedRows())
        selected.insert(m_model->record(index.row()).uid);
    const QModelIndex current = selection->currentIndex();
    const QString currentUid = current.isValid() ? m_model->record(current.row()).uid : QString();
    m_model->setRows(rows);
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString& uid = m_model->record(row).uid;
        if (uid == currentUid)
            selection->setCurrentIndex(m_model->index(row, current.column()), QItemSelectionModel::NoUpdate);
        if (selected.contains(uid))
            selection->select(m_model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

QString CallLogWindow::limitText(int shown, int matching) const
{
    const QLocale locale;
    const QString n = locale.toString(shown), of = locale.toString(matching);
    QString text;
    if (m_shownSort.key == CallSort::Time) {
        text = m_shownSort.descending ? tr("newest %1 of %2 shown").arg(n, of) : tr("oldest %1 of %2 shown").arg(n, of);
    } else {
        const QString column
            = m_model->headerData(CallTableModel::sortColumn(m_shownSort.key), Qt::Horizontal).toString().toLower();
        text = m_shownSort.descending ? tr("first %1 of %2 by %3, descending, shown").arg(n, of, column)
                                      : tr("first %1 of %2 by %3 shown").arg(n, of, column);
    }
    return text + tr("; narrow the search, or export them all");
}

void CallLogWindow::showDetails()
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    m_delete->setEnabled(!rows.isEmpty());
    if (rows.size() != 1) {
        m_details->setText(rows.isEmpty() ? tr("Select a call to see its notes.")
                                          : tr("%1 calls selected.").arg(rows.size()));
        m_notes->clear();
        return;
    }
    const CallRecord& r = m_model->record(rows.first().row());
    QStringList lines;
    lines << (r.name.isEmpty() ? tr("(no name)") : r.name);
    if (!r.location.isEmpty())
        lines << r.location;
    if (!r.topic.isEmpty())
        lines << tr("Topic: %1").arg(r.topic);
    lines << tr("Gender: %1, mood: %2")
                 .arg(r.gender.isEmpty() ? QStringLiteral("-") : r.gender,
                      r.mood.isEmpty() ? QStringLiteral("-") : r.mood);
    lines << tr("Line %1 of %2, %3").arg(r.line + 1).arg(r.unitKey, r.username);
    lines << tr("Outcome: %1").arg(CallTableModel::outcomeText(r));
    if (r.holdMs > 0)
        lines << tr("On hold: %1").arg(CallTableModel::duration(r.holdMs));
    if (r.priority)
        lines << tr("Priority caller");
    if (r.partial)
        lines << tr("The log saw only part of this call.");
    m_details->setText(lines.join(QLatin1Char('\n')));
    // Unchanged notes are left alone, so the place read in them stays.
    if (m_notes->toPlainText() != r.notes)
        m_notes->setPlainText(r.notes);
}

QVector<qint64> CallLogWindow::selectedIds() const
{
    QVector<qint64> ids;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        ids.append(m_model->record(index.row()).id);
    return ids;
}

void CallLogWindow::deleteSelected()
{
    const QVector<qint64> ids = selectedIds();
    if (ids.isEmpty())
        return;
    QMessageBox box(this);
    box.setWindowTitle(tr("Delete Calls"));
    box.setText(tr("Delete %1 from the log?")
                    .arg(ids.size() == 1 ? tr("the selected call") : tr("%1 selected calls").arg(ids.size())));
    box.setInformativeText(tr("This cannot be undone."));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;
    m_table->clearSelection();
    m_log.remove(ids);
}

void CallLogWindow::chooseExportFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested = QDir(folder).filePath(QStringLiteral("calls-%1.csv").arg(today().toString(Qt::ISODate)));
    const QString path
        = QFileDialog::getSaveFileName(this, tr("Export Calls"), suggested, tr("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        exportTo(path);
}

void CallLogWindow::exportTo(const QString& path)
{
    m_export->setEnabled(false);
    m_status->setText(tr("Exporting..."));
    // For spreadsheets: the byte-order mark they need to read UTF-8, and
    // nothing they would run as a formula.
    CsvOptions options;
    options.byteOrderMark = true;
    m_exportTicket = m_log.exportCsv(filter(), path, options);
}
