#pragma once

#include <QDialog>

namespace Ui {
class AddUnitDialog;
}

// Asks for the address, port and user name of a unit to add to the directory.
// Created by the main window for one Add and destroyed after it.
class AddUnitDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AddUnitDialog(QWidget* parent = nullptr);
    ~AddUnitDialog() override;

    QString getAddress() const;
    // The typed port, or -1 when the field holds no integer (e.g. is empty).
    int getPort() const;
    QString getUsername() const;

private:
    Ui::AddUnitDialog* m_ui;
};
