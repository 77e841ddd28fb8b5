#include "app/storagedialog.h"

#include "calllog/pgcallstore.h"
#include "calllog/sqlitecallstore.h"
#include "store/logstorage.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

LogDatabase StorageChoice::saved()
{
    const LogStorage s = LogStorage::load();
    LogDatabase d;
    if (!s.server)
        return d;
    d.kind = LogDatabase::Postgres;
    d.host = s.host;
    d.port = s.port;
    d.database = s.database;
    d.user = s.user;
    d.password = s.password;
    d.sslMode = s.sslMode;
    d.sslRootCert = s.sslRootCert;
    return d;
}

void StorageChoice::save(const LogDatabase& d)
{
    LogStorage s;
    s.server = d.isServer();
    s.host = d.host;
    s.port = d.port;
    s.database = d.database;
    s.user = d.user;
    s.password = d.password;
    s.sslMode = d.sslMode;
    s.sslRootCert = d.sslRootCert;
    LogStorage::save(s);
}

StorageDialog::StorageDialog(const LogDatabase& current, const QString& localFile, QWidget* parent)
    : QDialog(parent)
    , m_localFile(localFile)
{
    setWindowTitle(tr("Call Log Storage"));
    m_local = new QRadioButton(tr("This computer"), this);
    m_server = new QRadioButton(tr("Station server (PostgreSQL)"), this);
    m_host = new QLineEdit(current.host, this);
    m_host->setPlaceholderText(tr("name, address or socket folder"));
    m_port = new QSpinBox(this);
    m_port->setRange(1, 65535);
    m_port->setValue(current.port > 0 ? current.port : 5432);
    m_database = new QLineEdit(current.database.isEmpty() ? QStringLiteral("mirt") : current.database, this);
    m_user = new QLineEdit(current.user, this);
    m_password = new QLineEdit(current.password, this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(tr("none (socket or peer authentication)"));
    m_tls = new QComboBox(this);
    m_tls->addItems({QStringLiteral("disable"), QStringLiteral("require"), QStringLiteral("verify-full")});
    m_tls->setCurrentText(current.sslMode.isEmpty() ? QStringLiteral("require") : current.sslMode);
    m_caFile = new QLineEdit(current.sslRootCert, this);
    auto* browse = new QPushButton(tr("Browse..."), this);
    m_test = new QPushButton(tr("Test Connection"), this);
    m_copy = new QPushButton(tr("Copy this computer's calls to the station server"), this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    (current.isServer() ? m_server : m_local)->setChecked(true);

    auto* ca = new QHBoxLayout;
    ca->addWidget(m_caFile);
    ca->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(tr("Host:"), m_host);
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("Database:"), m_database);
    form->addRow(tr("User:"), m_user);
    form->addRow(tr("Password:"), m_password);
    form->addRow(tr("TLS:"), m_tls);
    form->addRow(tr("CA file:"), ca);
    form->setContentsMargins(24, 0, 0, 0);
    auto* actions = new QHBoxLayout;
    actions->addWidget(m_test);
    actions->addWidget(m_copy);
    actions->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_local);
    layout->addWidget(new QLabel(tr("The call log file of this computer; nothing to set up."), this));
    layout->addWidget(m_server);
    layout->addLayout(form);
    layout->addLayout(actions);
    layout->addWidget(m_status);
    layout->addWidget(
        new QLabel(tr("The choice is used from the next start; --log-db overrides it for one run."), this));
    layout->addWidget(buttons);

    connect(m_local, &QRadioButton::toggled, this, &StorageDialog::updateEnabled);
    connect(m_tls, &QComboBox::currentTextChanged, this, &StorageDialog::updateEnabled);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, tr("CA Certificate"), m_caFile->text());
        if (!file.isEmpty())
            m_caFile->setText(file);
    });
    connect(m_test, &QPushButton::clicked, this, &StorageDialog::testConnection);
    connect(m_copy, &QPushButton::clicked, this, &StorageDialog::copyCalls);
    connect(buttons, &QDialogButtonBox::accepted, this, &StorageDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &StorageDialog::reject);
    updateEnabled();
}

LogDatabase StorageDialog::database() const
{
    LogDatabase d;
    d.path = m_localFile;
    if (!m_server->isChecked())
        return d;
    d.kind = LogDatabase::Postgres;
    d.host = m_host->text().trimmed();
    d.port = m_port->value();
    d.database = m_database->text().trimmed();
    d.user = m_user->text().trimmed();
    d.password = m_password->text();
    d.sslMode = m_tls->currentText();
    if (d.sslMode == QLatin1String("verify-full"))
        d.sslRootCert = m_caFile->text().trimmed();
    return d;
}

QString StorageDialog::statusText() const
{
    return m_status->text();
}

void StorageDialog::updateEnabled()
{
    const bool server = m_server->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_host, m_port, m_database, m_user, m_password, m_tls})
        w->setEnabled(server);
    m_caFile->setEnabled(server && m_tls->currentText() == QLatin1String("verify-full"));
    m_test->setEnabled(server && m_running == 0);
    m_copy->setEnabled(server && m_running == 0 && QFileInfo::exists(m_localFile));
}

void StorageDialog::runAside(const QString& busy, std::function<QString()> work)
{
    m_status->setText(busy);
    ++m_running;
    updateEnabled();
    QPointer<StorageDialog> self(this);
    QThread* thread = QThread::create([self, work] {
        const QString answer = work();
        QMetaObject::invokeMethod(
            qApp,
            [self, answer] {
                if (!self)
                    return;
                --self->m_running;
                self->m_status->setText(answer);
                self->updateEnabled();
                emit self->statusChanged(answer);
            },
            Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void StorageDialog::testConnection()
{
    const LogDatabase database = this->database();
    runAside(tr("Connecting..."), [database] { return PgCallStore::testConnection(database); });
}

void StorageDialog::copyCalls()
{
    const LogDatabase database = this->database();
    const QString file = m_localFile;
    runAside(tr("Copying..."), [database, file] {
        SqliteCallStore::Options reading;
        reading.mode = CallStore::ReadOnly;
        SqliteCallStore local(file, reading);
        PgCallStore station(database);
        if (!local.open())
            return local.errorText();
        if (!station.open())
            return station.errorText();
        int copied = 0;
        if (!station.copyFrom(local, &copied))
            return QStringLiteral("%1 calls copied, then: %2").arg(copied).arg(station.errorText());
        return copied == 1 ? QStringLiteral("1 call copied to the station server.")
                           : QStringLiteral("%1 calls copied to the station server.").arg(copied);
    });
}

void StorageDialog::accept()
{
    StorageChoice::save(database());
    QDialog::accept();
}
