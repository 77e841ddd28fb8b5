#include "dialogs/aboutdialog.h"

#include "ui_aboutdialog.h"

#include <QEvent>

const char* const AboutDialog::version = "3.2";

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::AboutDialog)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_ui->labelVersion->setText(QString::fromLatin1(version));
}

AboutDialog::~AboutDialog()
{
    delete m_ui;
}

void AboutDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        m_ui->retranslateUi(this);
        // The form's version label is empty; applying the texts again would
        // otherwise blank the version.
        m_ui->labelVersion->setText(QString::fromLatin1(version));
    }
    QDialog::changeEvent(event);
}
