#pragma once

#include <QDialog>

namespace Ui {
class AboutDialog;
}

// The about box: the version and a short text naming the product. Its creator
// runs it and destroys it.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    static const char* const version;

    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::AboutDialog* m_ui;
};
