#pragma once

#include "store/config.h"

#include <QDialog>
#include <QMap>
#include <QString>

namespace Ui {
class IPConfigDialog;
}

// Edits a unit's network settings (static address or DHCP, netmask, gateway,
// DNS server) and the password of its own user interface, kept in two
// key=value files. Reads both when built, writes both on Ok; keys it does not
// handle are written back unchanged. Its creator runs it and destroys it.
class IPConfigDialog : public QDialog
{
    Q_OBJECT

public:
    static const char* const defaultNetworkFile;
    static const char* const defaultAppFile;

    explicit IPConfigDialog(QWidget* parent = nullptr,
                            const QString& networkFile = QString::fromLatin1(defaultNetworkFile),
                            const QString& appFile = QString::fromLatin1(defaultAppFile));
    ~IPConfigDialog() override;

    // Enables or disables the four address fields, then fills them for a
    // static address (enable) or DHCP (!enable).
    void enableControls(bool enable);
    // Fills the four address fields: "N/A" under DHCP, else the file's values.
    void populateIPSettings(bool dhcp);

public slots:
    void save();
    void dhcpChanged();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::IPConfigDialog* m_ui;
    Config m_config;
    QString m_networkFile;
    QString m_appFile;
    QMap<QString, QString> m_network;
    QMap<QString, QString> m_app;
};
