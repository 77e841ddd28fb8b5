#include "console/infoedit.h"

#include "console/lines.h"
#include "ipc/ipcobject.h"
#include "unit/callerinfo.h"

#include <QFont>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleFactory>
#include <QTextCursor>

#include <algorithm>

namespace {

// People write notes; a frame may still carry 768 KiB of them, and the
// editor lays out one long word in time that grows with its square (a whole
// frame took it over three minutes). Longer notes are cut for display, as
// the line editors cut at 32,767 characters by themselves.
constexpr int kMaxShownNotes = 8192;

template <std::size_t N> void fillChooser(QComboBox& chooser, const CallerChoice (&rows)[N])
{
    for (const CallerChoice& row : rows)
        chooser.addItem(QString::fromLatin1(row.shown), QString::fromLatin1(row.sent));
}

// Replaces a line editor's text only when it differs, keeping the cursor
// where it was as far as the new text allows. setText emits no textEdited,
// so nothing goes back to the unit.
void refresh(QLineEdit& editor, const QString& text)
{
    if (editor.text() == text)
        return;
    const int cursor = editor.cursorPosition();
    editor.setText(text);
    editor.setCursorPosition(std::min(cursor, int(text.size())));
}

// Makes the entry whose sent text equals `text` current; a text outside the
// table leaves the chooser as it is. setCurrentIndex emits no activated.
void refresh(QComboBox& chooser, const QString& text)
{
    const int index = chooser.findData(text, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0 && index != chooser.currentIndex())
        chooser.setCurrentIndex(index);
}

unsigned chosenIndex(const QComboBox& chooser)
{
    return unsigned(std::max(0, chooser.currentIndex()));
}

} // namespace

InfoEdit::InfoEdit(QGraphicsScene& scene, IPCObject& session, Lines& lines)
    : m_scene(scene)
    , m_session(session)
    , m_lines(lines)
    , m_style(QStyleFactory::create(QStringLiteral("Fusion")))
    , m_panel(0, 0, nullptr)
{
    setAllEnabled(false);
    // Notes go out as plain text; pasted formatting would only be dropped.
    m_notes.setAcceptRichText(false);

    m_panel.setPos(692, 398);
    m_scene.addItem(&m_panel);

    auto embed = [this](QWidget& editor, int x, int y, int w, int h, const QFont& font, qreal z) {
        editor.resize(w, h);
        editor.setFont(font);
        editor.setStyle(m_style.get());
        QGraphicsProxyWidget* proxy = m_scene.addWidget(&editor);
        proxy->setPos(x, y);
        proxy->setZValue(z);
    };
    // Sized in scene units like the drawn text around them, so the text
    // fits its 25-unit boxes whatever the screen's resolution.
    const QFont big = SurfacePanel::surfaceFont(14, false);
    QFont small = SurfacePanel::surfaceFont(10, false);
    small.setStyleStrategy(QFont::PreferDefault);
    embed(m_name, 777, 448, 230, 25, big, 1.0);
    embed(m_location, 777, 478, 230, 25, big, 1.0);
    embed(m_topic, 777, 508, 230, 25, big, 1.0);
    // The choosers lie above the other editors so their open lists cover them.
    embed(m_gender, 777, 548, 180, 25, small, 20.0);
    embed(m_mood, 777, 588, 180, 25, small, 20.0);
    embed(m_notes, 777, 628, 230, 115, big, 1.0);
    fillChooser(m_gender, kGenderChoices);
    fillChooser(m_mood, kMoodChoices);

    connect(&m_name, &QLineEdit::textEdited, this, &InfoEdit::sendUpdate);
    connect(&m_location, &QLineEdit::textEdited, this, &InfoEdit::sendUpdate);
    connect(&m_topic, &QLineEdit::textEdited, this, &InfoEdit::sendUpdate);
    connect(&m_notes, &QTextEdit::textChanged, this, &InfoEdit::sendUpdate);
    connect(&m_gender, qOverload<int>(&QComboBox::activated), this, &InfoEdit::sendUpdate);
    connect(&m_mood, qOverload<int>(&QComboBox::activated), this, &InfoEdit::sendUpdate);
    connect(&m_lines, &Lines::lineSelected, this, &InfoEdit::setLineNum);
    connect(&m_lines, &Lines::ancillaryChanged, this, &InfoEdit::ancillaryUpdate);
}

InfoEdit::~InfoEdit()
{
    // The scene's proxies would delete the widgets they hold; these are
    // members, so take them back before the proxies go.
    QWidget* editors[] = {&m_name, &m_location, &m_topic, &m_gender, &m_mood, &m_notes};
    for (QWidget* editor : editors) {
        if (QGraphicsProxyWidget* proxy = editor->graphicsProxyWidget()) {
            proxy->setWidget(nullptr);
            delete proxy;
        }
    }
    m_scene.removeItem(&m_panel);
}

void InfoEdit::setAllEnabled(bool enabled)
{
    QWidget* editors[] = {&m_name, &m_location, &m_topic, &m_notes, &m_gender, &m_mood};
    for (QWidget* editor : editors)
        editor->setEnabled(enabled);
}

QLineEdit* InfoEdit::lineEditor(int field)
{
    QLineEdit* editors[kLineFields] = {&m_name, &m_location, &m_topic};
    return editors[field];
}

void InfoEdit::setLineNum(uint line, LineAttributes& attributes)
{
    m_line = int(line);
    m_panel.setLineNum(line);
    ancillaryUpdate(line, attributes, false);
}

void InfoEdit::ancillaryUpdate(uint line, LineAttributes& attributes, bool local)
{
    if (local || m_line < 0 || line != uint(m_line))
        return;

    setAllEnabled(true);

    // A line editor cuts what it is given at 32,767 characters; each field
    // remembers what arrived and what the editor made of it, so a field the
    // user leaves alone goes back to the unit as it came.
    const QString* incoming[] = {&attributes.name, &attributes.location, &attributes.topic};
    for (int i = 0; i < kLineFields; ++i) {
        m_fields[i].in = *incoming[i];
        refresh(*lineEditor(i), m_fields[i].in);
        m_fields[i].shown = lineEditor(i)->text();
    }

    m_notesIn = attributes.notes;
    const QString notes = m_notesIn.left(kMaxShownNotes);
    m_notesShown = m_notes.toPlainText();
    if (m_notesShown != notes) {
        // setPlainText emits textChanged like a keystroke would; blocked for
        // the moment so the unit's own text is not sent back to it.
        const int cursor = m_notes.textCursor().position();
        {
            const QSignalBlocker blocker(m_notes);
            m_notes.setPlainText(notes);
        }
        QTextCursor c = m_notes.textCursor();
        c.setPosition(std::min(cursor, m_notes.document()->characterCount() - 1));
        m_notes.setTextCursor(c);
        m_notesShown = m_notes.toPlainText();
    }

    refresh(m_gender, attributes.gender);
    refresh(m_mood, attributes.mood);

    m_panel.setEmoticonIndex(attributes.moodidx);
}

void InfoEdit::sendUpdate()
{
    // Immediate feedback: the emoticon follows the chooser before the unit answers.
    m_panel.setEmoticonIndex(chosenIndex(m_mood));

    // Editors are disabled until a line is chosen; a stray signal before
    // then has no line to describe.
    if (m_line < 0)
        return;

    // Notes the user left as they came go back as they came, whole, not as
    // the editor shows them: cut to the display limit, with its own line
    // breaks and spaces.
    const QString typed = m_notes.toPlainText();
    const QString notes = typed == m_notesShown ? m_notesIn : typed;

    QString texts[kLineFields];
    for (int i = 0; i < kLineFields; ++i) {
        const QString typed = lineEditor(i)->text();
        texts[i] = typed == m_fields[i].shown ? m_fields[i].in : typed;
    }

    LineAttributes record;
    record.setAttributes(texts[0], texts[1], texts[2], notes, chosenIndex(m_gender), m_gender.currentData().toString(),
                         chosenIndex(m_mood), m_mood.currentData().toString());
    Message msg;
    record.write(msg, unsigned(m_line));
    // A failed send closes the connection; the editor keeps what was typed
    // and the next keystroke after reconnecting sends the whole record.
    m_session.send_message(msg);
}

void InfoEdit::fillCaller(const QString& name, const QString& location)
{
    if (m_line < 0 || !m_name.isEnabled())
        return;
    m_name.setText(name);
    if (m_location.text().isEmpty())
        m_location.setText(location);
    sendUpdate();
}
