#pragma once

#include "console/infopanel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QTextEdit>

#include <memory>

class IPCObject;
class Lines;
class QGraphicsScene;
class QStyle;
struct LineAttributes;

// The editor of the selected line's caller information: six widgets embedded
// in the console scene over an InfoPanel. Every edit goes to the unit at once
// as the whole record; updates from the unit refresh the editor without
// disturbing what the user is typing. Created and deleted by the console
// window, after the Lines it listens to.
class InfoEdit : public QObject
{
    Q_OBJECT

public:
    InfoEdit(QGraphicsScene& scene, IPCObject& session, Lines& lines);
    ~InfoEdit() override;

    int currentLine() const { return m_line; }
    QLineEdit& nameEditor() { return m_name; }
    QLineEdit& locationEditor() { return m_location; }
    QLineEdit& topicEditor() { return m_topic; }
    QTextEdit& notesEditor() { return m_notes; }
    QComboBox& genderChooser() { return m_gender; }
    QComboBox& moodChooser() { return m_mood; }
    const InfoPanel& panel() const { return m_panel; }

public slots:
    void ancillaryUpdate(uint line, LineAttributes& attributes, bool local);
    void setLineNum(uint line, LineAttributes& attributes);
    void sendUpdate();
    // An earlier caller chosen for the current line: the name, and the
    // location when its field is empty, sent once as the whole record.
    void fillCaller(const QString& name, const QString& location);

private:
    void setAllEnabled(bool enabled);

    QGraphicsScene& m_scene;
    IPCObject& m_session;
    Lines& m_lines;
    int m_line = -1;
    // Name, location and topic: the current line's texts as they arrived,
    // and as their editors then showed them (a line editor cuts them at its
    // limit).
    enum { kLineFields = 3 };
    struct Field
    {
        QString in;
        QString shown;
    };
    Field m_fields[kLineFields];
    QLineEdit* lineEditor(int field);
    // The same for the notes (display cuts them at a limit).
    QString m_notesIn;
    QString m_notesShown;
    // The editors' "Fusion" style; declared before them because a widget
    // neither owns its style nor may outlive it.
    std::unique_ptr<QStyle> m_style;
    QLineEdit m_name;
    QLineEdit m_location;
    QLineEdit m_topic;
    QTextEdit m_notes;
    QComboBox m_gender;
    QComboBox m_mood;
    InfoPanel m_panel;
};
