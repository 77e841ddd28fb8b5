#include "app/addunitdialog.h"

#include "app/portvalidator.h"
#include "ui_addunitdialog.h"

AddUnitDialog::AddUnitDialog(QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::AddUnitDialog)
{
    m_ui->setupUi(this);
    m_ui->linePort->setText(QStringLiteral("8080"));
    m_ui->linePort->setValidator(new PortValidator(this));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

AddUnitDialog::~AddUnitDialog()
{
    delete m_ui;
}

QString AddUnitDialog::getAddress() const
{
    return m_ui->lineAddress->text();
}

int AddUnitDialog::getPort() const
{
    bool ok = false;
    const int port = m_ui->linePort->text().toInt(&ok, 10);
    return ok ? port : -1;
}

QString AddUnitDialog::getUsername() const
{
    return m_ui->lineName->text();
}
