#include "dialogs/lineconfigdialog.h"

#include "ui_lineconfigdialog.h"

#include <QDebug>
#include <QEvent>

namespace {
const QString kKeyClustering = QStringLiteral("CONFIG_CLUSTERING");
const QString kKeyClusterId = QStringLiteral("CONFIG_CLUSTER_ID");
const QString kKeyRingSafe = QStringLiteral("CONFIG_RING_SAFE");

// The three modes every line has; the two cluster modes follow them at
// indexes 3 and 4 while clustering is enabled.
const int kBaseModeCount = 3;
const int kClusterModeIndex = 3;
const int kClusterBusyAllModeIndex = 4;

QString lineKey(int line)
{
    return QStringLiteral("CONFIG_LINE%1").arg(line);
}

// Values that are not a decimal integer count as 0.
int toNumber(const QString& value)
{
    bool ok = false;
    const int n = value.toInt(&ok, 10);
    return ok ? n : 0;
}
} // namespace

const char* const LineConfigDialog::defaultAppFile = "/var/cfg/rc.app";

LineConfigDialog::LineConfigDialog(QWidget* parent, const QString& appFile)
    : QDialog(parent)
    , m_ui(new Ui::LineConfigDialog)
    , m_appFile(appFile)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_labels = {m_ui->labelLine1, m_ui->labelLine2,  m_ui->labelLine3,  m_ui->labelLine4,
                m_ui->labelLine5, m_ui->labelLine6,  m_ui->labelLine7,  m_ui->labelLine8,
                m_ui->labelLine9, m_ui->labelLine10, m_ui->labelLine11, m_ui->labelLine12};
    m_combos = {m_ui->comboLine1, m_ui->comboLine2,  m_ui->comboLine3,  m_ui->comboLine4,
                m_ui->comboLine5, m_ui->comboLine6,  m_ui->comboLine7,  m_ui->comboLine8,
                m_ui->comboLine9, m_ui->comboLine10, m_ui->comboLine11, m_ui->comboLine12};

    if (m_config.load(m_appFile, m_values)) {
        m_ui->checkClustering->setChecked(m_values.value(kKeyClustering) == QLatin1String("1"));
        // The cluster modes must exist before a line can be set to one.
        clusteringChanged();
        // An index beyond the combo's entries leaves the line without a mode.
        for (int n = 1; n <= lineCount; ++n)
            m_combos[n - 1]->setCurrentIndex(toNumber(m_values.value(lineKey(n))));
        m_ui->spinClusterID->setValue(toNumber(m_values.value(kKeyClusterId)));
        m_ui->checkRingSafe->setChecked(m_values.value(kKeyRingSafe) == QLatin1String("1"));
    }

    // Connected only now, so that loading runs clusteringChanged() once.
    connect(this, &QDialog::accepted, this, &LineConfigDialog::save);
    connect(m_ui->checkClustering, &QCheckBox::toggled, this, &LineConfigDialog::clusteringChanged);
}

LineConfigDialog::~LineConfigDialog()
{
    delete m_ui;
}

void LineConfigDialog::showUpperLines(bool show)
{
    for (int i = 6; i < lineCount; ++i) {
        m_labels[i]->setVisible(show);
        m_combos[i]->setVisible(show);
    }
    resize(10, 10);
}

void LineConfigDialog::clusteringChanged()
{
    const bool enabled = m_ui->checkClustering->isChecked();
    m_ui->spinClusterID->setEnabled(enabled);

    // The twelve combos always hold the same entries; line 1 stands for all.
    if (enabled && m_ui->comboLine1->count() == kBaseModeCount) {
        for (QComboBox* combo : qAsConst(m_combos))
            combo->addItem(tr("Cluster"));
        for (QComboBox* combo : qAsConst(m_combos))
            combo->addItem(tr("Cluster w/Busy All"));
    } else if (!enabled) {
        while (m_ui->comboLine1->count() > kClusterModeIndex) {
            for (QComboBox* combo : qAsConst(m_combos))
                combo->removeItem(kClusterModeIndex);
        }
    }
}

void LineConfigDialog::retranslateClusterModes()
{
    for (QComboBox* combo : qAsConst(m_combos)) {
        if (combo->count() > kClusterModeIndex)
            combo->setItemText(kClusterModeIndex, tr("Cluster"));
        if (combo->count() > kClusterBusyAllModeIndex)
            combo->setItemText(kClusterBusyAllModeIndex, tr("Cluster w/Busy All"));
    }
}

void LineConfigDialog::save()
{
    for (int n = 1; n <= lineCount; ++n)
        m_values[lineKey(n)] = QStringLiteral("%1").arg(m_combos[n - 1]->currentIndex());
    m_values[kKeyClustering] = m_ui->checkClustering->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    m_values[kKeyClusterId] = QStringLiteral("%1").arg(m_ui->spinClusterID->value());
    m_values[kKeyRingSafe] = m_ui->checkRingSafe->isChecked() ? QStringLiteral("1") : QStringLiteral("0");

    // A failed write leaves the old file whole; the dialog closes regardless.
    if (!m_config.save(m_appFile, m_values))
        qWarning() << "LineConfigDialog: cannot write" << m_appFile;
}

void LineConfigDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        m_ui->retranslateUi(this);
        retranslateClusterModes();
    }
    QDialog::changeEvent(event);
}
