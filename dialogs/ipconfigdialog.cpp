#include "dialogs/ipconfigdialog.h"

#include "ui_ipconfigdialog.h"

#include <QDebug>
#include <QEvent>

namespace {
const QString kKeyAddress = QStringLiteral("NET_ADDRESS");
const QString kKeyNetmask = QStringLiteral("NET_NETMASK");
const QString kKeyGateway = QStringLiteral("NET_GATEWAY");
const QString kKeyDns = QStringLiteral("NET_DNS_PRIMARY");
const QString kKeyPassword = QStringLiteral("CONFIG_GUI_PASSWORD");
const QString kDhcpValue = QStringLiteral("DHCP");
} // namespace

const char* const IPConfigDialog::defaultNetworkFile = "/var/cfg/rc.network";
const char* const IPConfigDialog::defaultAppFile = "/var/cfg/rc.app";

IPConfigDialog::IPConfigDialog(QWidget* parent, const QString& networkFile, const QString& appFile)
    : QDialog(parent)
    , m_ui(new Ui::IPConfigDialog)
    , m_networkFile(networkFile)
    , m_appFile(appFile)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    if (m_config.load(m_networkFile, m_network)) {
        // Any spelling of "dhcp" selects DHCP.
        const bool dhcp = m_network.value(kKeyAddress).toUpper() == kDhcpValue;
        enableControls(!dhcp);
        populateIPSettings(dhcp);
        m_ui->radioDHCP->setChecked(dhcp);
        m_ui->radioStatic->setChecked(!dhcp);
    }

    if (m_config.load(m_appFile, m_app))
        m_ui->linePassword->setText(m_app.value(kKeyPassword));

    // Connected only now, so that setting the radio buttons above does not
    // run dhcpChanged().
    connect(this, &QDialog::accepted, this, &IPConfigDialog::save);
    connect(m_ui->radioDHCP, &QRadioButton::toggled, this, &IPConfigDialog::dhcpChanged);
}

IPConfigDialog::~IPConfigDialog()
{
    delete m_ui;
}

void IPConfigDialog::enableControls(bool enable)
{
    m_ui->lineIPAddress->setEnabled(enable);
    m_ui->lineNetmask->setEnabled(enable);
    m_ui->lineGateway->setEnabled(enable);
    m_ui->lineDNS->setEnabled(enable);
    populateIPSettings(!enable);
}

void IPConfigDialog::populateIPSettings(bool dhcp)
{
    if (dhcp) {
        const QString na = QStringLiteral("N/A");
        m_ui->lineIPAddress->setText(na);
        m_ui->lineNetmask->setText(na);
        m_ui->lineGateway->setText(na);
        m_ui->lineDNS->setText(na);
        return;
    }

    // Always the values as read from the file, never what was typed before:
    // switching to DHCP and back restores the file's settings.
    const QString address = m_network.value(kKeyAddress);
    m_ui->lineIPAddress->setText(address == kDhcpValue ? QString() : address);
    m_ui->lineNetmask->setText(m_network.value(kKeyNetmask));
    m_ui->lineGateway->setText(m_network.value(kKeyGateway));
    m_ui->lineDNS->setText(m_network.value(kKeyDns));
}

void IPConfigDialog::dhcpChanged()
{
    enableControls(m_ui->radioStatic->isChecked());
}

void IPConfigDialog::save()
{
    m_app[kKeyPassword] = m_ui->linePassword->text();

    if (m_ui->radioDHCP->isChecked()) {
        m_network[kKeyAddress] = kDhcpValue;
    } else {
        m_network[kKeyAddress] = m_ui->lineIPAddress->text();
        m_network[kKeyNetmask] = m_ui->lineNetmask->text();
        m_network[kKeyGateway] = m_ui->lineGateway->text();
        m_network[kKeyDns] = m_ui->lineDNS->text();
    }

    // A failed write leaves the old file whole; the dialog closes regardless.
    if (!m_config.save(m_networkFile, m_network))
        qWarning() << "IPConfigDialog: cannot write" << m_networkFile;
    if (!m_config.save(m_appFile, m_app))
        qWarning() << "IPConfigDialog: cannot write" << m_appFile;
}

void IPConfigDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
    QDialog::changeEvent(event);
}
