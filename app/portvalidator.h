#pragma once

#include <QValidator>

// Accepts a TCP port, 1 to 65535, in decimal digits; lets the field be emptied
// while typing. Installed on the add dialog's port field.
class PortValidator : public QValidator
{
    Q_OBJECT

public:
    explicit PortValidator(QObject* parent = nullptr);

    State validate(QString& input, int& position) const override;
};
