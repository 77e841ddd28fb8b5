#pragma once

#include "calllog/logdatabase.h"

#include <QDialog>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

// Where the call log lives, as the user chose it in the storage dialog and
// the settings keep it (store/LogStorage): the SQLite file of this computer
// or a station server.
class StorageChoice
{
public:
    static LogDatabase saved();
    static void save(const LogDatabase& database);
};

// "Storage...": this computer's file or a station's PostgreSQL server, with
// what it takes to reach the server. "Test Connection" and "Copy this
// computer's calls to the station server" run on a thread of their own and
// answer in the dialog's one status line; the window never waits for the
// network. The choice is kept when the dialog is accepted and used from the
// next start.
class StorageDialog : public QDialog
{
    Q_OBJECT

public:
    // localFile: this computer's log, what the copy reads.
    StorageDialog(const LogDatabase& current, const QString& localFile, QWidget* parent = nullptr);

    // What the fields say now.
    LogDatabase database() const;
    QString statusText() const;
    // The status line changed (a test or a copy finished).
    Q_SIGNAL void statusChanged(const QString& text);

private:
    void updateEnabled();
    void testConnection();
    void copyCalls();
    // work runs on a thread of its own; its answer goes to the status line.
    void runAside(const QString& busy, std::function<QString()> work);
    void accept() override;

    QString m_localFile;
    QRadioButton* m_local = nullptr;
    QRadioButton* m_server = nullptr;
    QLineEdit* m_host = nullptr;
    QSpinBox* m_port = nullptr;
    QLineEdit* m_database = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QComboBox* m_tls = nullptr;
    QLineEdit* m_caFile = nullptr;
    QPushButton* m_test = nullptr;
    QPushButton* m_copy = nullptr;
    QLabel* m_status = nullptr;
    int m_running = 0;
};
