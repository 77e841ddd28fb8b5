#pragma once

#include "support/qtcompat.h"

#include <QObject>

// The user's choice of the consoles' look: high contrast or not, kept in the
// settings store beside the unit directory and shown by every console at
// once. The command line's --high-contrast turns it on for one run without
// changing what is kept. Owned by the main window.
class ConsoleOptions : public QObject
{
    Q_OBJECT

public:
    explicit ConsoleOptions(QObject* parent = nullptr);

    bool highContrast() const { return m_highContrast; }

public slots:
    // The user's choice, kept for the next run.
    void setHighContrast(bool on);
    // On for this run only.
    void useHighContrast();

signals:
    void changed();

private:
    Utf8Settings m_settings;
    bool m_highContrast;
};
