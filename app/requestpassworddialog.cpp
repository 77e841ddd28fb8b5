#include "app/requestpassworddialog.h"

#include "ui_requestpassworddialog.h"

RequestPasswordDialog::RequestPasswordDialog(QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::RequestPasswordDialog)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_ui->linePassword->setFocus();
}

RequestPasswordDialog::~RequestPasswordDialog()
{
    delete m_ui;
}

QString RequestPasswordDialog::getPassword() const
{
    return m_ui->linePassword->text();
}

bool RequestPasswordDialog::getSavePassword() const
{
    return m_ui->checkSavePassword->isChecked();
}
