#include "app/callerhistorywindow.h"

#include "console/mirtgui.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString seconds(qint64 ms)
{
    if (ms < 0)
        return QString();
    const qint64 s = (ms + 500) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

CallerHistoryWindow::CallerHistoryWindow(CallerHistorySource& source, QWidget* parent)
    : QWidget(parent)
    , m_source(source)
{
    setWindowTitle(tr("Caller History"));
    setObjectName(QStringLiteral("CallerHistoryWindow"));
    resize(900, 420);

    m_lookUp = new QLineEdit(this);
    m_lookUp->setObjectName(QStringLiteral("lineEditLookUp"));
    m_lookUp->setPlaceholderText(tr("Look up a name"));
    m_lookUp->setAccessibleName(tr("Look up a name"));
    m_lookUp->setClearButtonEnabled(true);
    m_caller = new QLabel(this);
    m_caller->setObjectName(QStringLiteral("labelCaller"));
    m_caller->setTextFormat(Qt::PlainText);
    m_flag = new QLineEdit(this);
    m_flag->setObjectName(QStringLiteral("lineEditFlag"));
    m_flag->setPlaceholderText(tr("A note kept with this caller, e.g. \"regular: weather\""));
    m_flag->setAccessibleName(tr("Flag"));
    m_flag->setMaxLength(200);
    m_setFlag = new QPushButton(tr("Set Flag"), this);
    m_setFlag->setObjectName(QStringLiteral("buttonSetFlag"));
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("labelHistoryError"));
    m_error->setStyleSheet(QStringLiteral("color: #a00;"));
    m_error->setTextFormat(Qt::PlainText);
    m_error->hide();

    m_table = new QTableWidget(0, 8, this);
    m_table->setObjectName(QStringLiteral("tableHistory"));
    m_table->setHorizontalHeaderLabels({tr("Date and time"), tr("Unit"), tr("Line"), tr("Topic"), tr("Outcome"),
                                        tr("Wait"), tr("On air"), tr("Notes")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Name:"), this));
    top->addWidget(m_lookUp, 1);
    auto* flagRow = new QHBoxLayout;
    flagRow->addWidget(new QLabel(tr("Flag:"), this));
    flagRow->addWidget(m_flag, 1);
    flagRow->addWidget(m_setFlag);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_caller);
    layout->addLayout(flagRow);
    layout->addWidget(m_error);
    layout->addWidget(m_table, 1);

    m_changeDelay.setSingleShot(true);
    m_changeDelay.setInterval(300);
    connect(&m_changeDelay, &QTimer::timeout, this, &CallerHistoryWindow::refresh);
    connect(&m_source, &CallerHistorySource::changed, this, [this] {
        if (isVisible())
            m_changeDelay.start();
    });
    connect(&m_source, &CallerHistorySource::callerFound, this, &CallerHistoryWindow::answered);
    connect(&m_source, &CallerHistorySource::flagSet, this, [this](int ticket, bool ok, const QString& error) {
        if (ticket != m_flagTicket)
            return;
        m_error->setText(ok ? QString() : tr("The flag was not set: %1").arg(error));
        m_error->setVisible(!ok);
        refresh();
    });
    connect(m_lookUp, &QLineEdit::returnPressed, this, [this] { showCaller(m_lookUp->text(), QString()); });
    connect(m_flag, &QLineEdit::returnPressed, this, &CallerHistoryWindow::setFlag);
    connect(m_setFlag, &QPushButton::clicked, this, &CallerHistoryWindow::setFlag);
    showCaller(QString(), QString());
}

CallerHistoryWindow::~CallerHistoryWindow() = default;

void CallerHistoryWindow::follow(MIRTGui* console)
{
    if (m_console)
        disconnect(m_console, nullptr, this, nullptr);
    m_console = console;
    if (!console)
        return;
    const auto selected = [this] {
        if (m_console)
            showCaller(m_console->selectedCallerName(), m_console->selectedCallerLocation());
    };
    connect(console, &MIRTGui::selectedCallerChanged, this, selected);
    selected();
}

void CallerHistoryWindow::showCaller(const QString& name, const QString& location)
{
    const bool other = name != m_name || location != m_location;
    m_name = name;
    m_location = location;
    if (other) {
        m_flagTicket = 0;
        m_flag->setText(QString());
        m_flagShown.clear();
    }
    refresh();
}

QString CallerHistoryWindow::flagShown() const
{
    return m_flagShown;
}

void CallerHistoryWindow::refresh()
{
    const bool any = !m_name.trimmed().isEmpty();
    m_flag->setEnabled(any);
    m_setFlag->setEnabled(any);
    if (!any) {
        m_ticket = 0;
        m_caller->setText(tr("No caller selected."));
        m_table->setRowCount(0);
        emit shown();
        return;
    }
    m_ticket = m_source.lookUpCaller(m_name, m_location, RowLimit);
}

void CallerHistoryWindow::answered(int ticket, const HistoryAnswer& answer)
{
    if (ticket != m_ticket)
        return;
    m_ticket = 0;
    if (!answer.ok) {
        m_error->setText(tr("The call log cannot be read: %1").arg(answer.error));
        m_error->show();
        emit shown();
        return;
    }
    const QString who = m_location.trimmed().isEmpty() ? m_name : QStringLiteral("%1 (%2)").arg(m_name, m_location);
    m_caller->setText(answer.calls == 1 ? tr("%1: 1 call").arg(who) : tr("%1: %2 calls").arg(who).arg(answer.calls));
    // What the user is typing as a new flag stays until it is set.
    if (m_flag->text() == m_flagShown || !m_flag->isModified())
        m_flag->setText(answer.flag);
    m_flagShown = answer.flag;
    m_flag->setModified(false);
    m_table->setRowCount(answer.recent.size());
    int row = 0;
    for (const HistoryCall& call : answer.recent) {
        const QString texts[] = {
            QDateTime::fromMSecsSinceEpoch(call.when, Qt::LocalTime).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            call.unit,
            QString::number(call.line + 1),
            call.topic,
            call.inProgress ? tr("in progress") : call.outcome,
            seconds(call.waitMs),
            seconds(call.airMs),
            call.notes,
        };
        for (int column = 0; column < 8; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(texts[column]));
        ++row;
    }
    m_table->resizeColumnsToContents();
    if (!m_error->text().startsWith(tr("The flag was not set")))
        m_error->hide();
    emit shown();
}

void CallerHistoryWindow::setFlag()
{
    if (m_name.trimmed().isEmpty())
        return;
    m_error->hide();
    m_error->clear();
    m_flagTicket = m_source.setCallerFlag(m_name, m_location, m_flag->text());
}
