#pragma once

#include "store/config.h"

#include <QDialog>
#include <QList>
#include <QMap>
#include <QString>

class QComboBox;
class QLabel;

namespace Ui {
class LineConfigDialog;
}

// Edits the line configuration of a unit kept in its application settings
// file: the mode of each of the twelve lines, clustering with its cluster ID,
// and ring safe. Reads the file when built and writes it on Ok; keys it does
// not handle are written back unchanged. Its creator runs it and destroys it.
class LineConfigDialog : public QDialog
{
    Q_OBJECT

public:
    static const char* const defaultAppFile;
    static const int lineCount = 12;

    explicit LineConfigDialog(QWidget* parent = nullptr, const QString& appFile = QString::fromLatin1(defaultAppFile));
    ~LineConfigDialog() override;

    // Shows or hides lines 7 to 12 and lets the dialog shrink to fit.
    void showUpperLines(bool show);

public slots:
    void save();
    void clusteringChanged();

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslateClusterModes();

    Ui::LineConfigDialog* m_ui;
    Config m_config;
    QString m_appFile;
    QMap<QString, QString> m_values;
    QList<QLabel*> m_labels;
    QList<QComboBox*> m_combos;
};
