#pragma once

#include <QDialog>

namespace Ui {
class RequestPasswordDialog;
}

// Asks for a unit's password when its console reports a refused login, and
// whether to keep it in the directory. One dialog per request.
class RequestPasswordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit RequestPasswordDialog(QWidget* parent = nullptr);
    ~RequestPasswordDialog() override;

    QString getPassword() const;
    bool getSavePassword() const;

private:
    Ui::RequestPasswordDialog* m_ui;
};
