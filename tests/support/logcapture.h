#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace testsupport {

// Keeps what the code under test writes to Qt's message streams while it is
// alive. The session logs every frame as a debug line; those are kept but
// never printed. With Forward::Others, warnings and worse still reach the
// test output as well; with Forward::Nothing they are only kept.
class LogCapture
{
public:
    enum class Forward { Nothing, Others };

    explicit LogCapture(Forward forward = Forward::Nothing);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line so far, joined by line breaks.
    QString text() const;
    // The lines of one type (QtWarningMsg: the warnings).
    QStringList lines(QtMsgType type) const;
    int count(QtMsgType type) const { return lines(type).size(); }
    void clear() { m_lines.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text);

    Forward m_forward;
    QtMessageHandler m_previous = nullptr;
    LogCapture* m_outer = nullptr;
    QList<QPair<QtMsgType, QString>> m_lines;
};

} // namespace testsupport
