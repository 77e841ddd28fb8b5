#include "console/chat.h"

#include "ipc/ipcobject.h"
#include "unit/chatline.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QStyle>
#include <QStyleFactory>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

namespace {

// People type chat lines; a frame may still carry 768 KiB of text, and the
// history lays out one long word in time that grows with its square (a
// 32,000-character word took half a second, a whole frame minutes). Longer
// senders and texts are cut to this many characters for display.
constexpr int kMaxShownChars = 4096;

} // namespace

Chat::Chat(QGraphicsScene& scene, IPCObject& session)
    : m_scene(scene)
    , m_session(session)
    , m_style(QStyleFactory::create(QStringLiteral("Fusion")))
    , m_send(QStringLiteral("Send"))
    , m_panel(0, 0, nullptr)
{
    m_panel.moveBy(692, 65);
    m_scene.addItem(&m_panel);

    m_history.resize(310, 255);
    m_history.setReadOnly(true);
    // Nobody undoes a received line. With undo on, the document keeps every
    // line it ever held (cut lines included) for its undo stack, so a console
    // open for days grew without bound whatever the history's own limit.
    m_history.setUndoRedoEnabled(false);
    m_history.setStyle(m_style.get());
    QGraphicsProxyWidget* proxy = m_scene.addWidget(&m_history);
    proxy->setZValue(1);
    proxy->moveBy(700, 95);

    m_input.resize(230, 28);
    m_input.setStyle(m_style.get());
    proxy = m_scene.addWidget(&m_input);
    proxy->setZValue(1);
    proxy->moveBy(700, 355);

    m_send.setEnabled(false);
    m_send.setStyle(m_style.get());
    proxy = m_scene.addWidget(&m_send);
    proxy->setZValue(1);
    proxy->moveBy(934, 355);

    connect(&m_send, &QPushButton::clicked, this, &Chat::send);
    connect(&m_input, &QLineEdit::returnPressed, this, &Chat::send);
    connect(&m_input, &QLineEdit::textChanged, this, &Chat::textChanged);
    connect(&m_session, &IPCObject::recvChatData, this, &Chat::ipcRecvChatData);
}

Chat::~Chat()
{
    // The scene's proxies would delete the widgets they hold; these widgets
    // are members, so take them back before the proxies go.
    for (QWidget* w :
         {static_cast<QWidget*>(&m_history), static_cast<QWidget*>(&m_input), static_cast<QWidget*>(&m_send)}) {
        if (QGraphicsProxyWidget* proxy = w->graphicsProxyWidget()) {
            proxy->setWidget(nullptr);
            delete proxy;
        }
    }
    m_scene.removeItem(&m_panel);
}

void Chat::textChanged()
{
    m_send.setEnabled(!m_input.text().isEmpty());
}

void Chat::send()
{
    const QString text = m_input.text();
    if (text.isEmpty())
        return;
    // A line that could not be sent stays in the input, so the user can send
    // it again once the unit is back instead of typing it anew.
    if (m_session.cmd_send_chat(QStringLiteral("console"), text))
        m_input.clear();
}

QString Chat::formatLine(const QString& from, const QString& text)
{
    // Both values come from the network. Escaped, a sender cannot add markup
    // (fonts, tables, a fake line of someone else). Filled in one pass, a
    // "%1" inside the sender cannot pull the text into the brackets.
    return QStringLiteral("<FONT COLOR=#0000FF SIZE=5><STRONG>[%1]</STRONG></FONT> <FONT SIZE=5>%2</FONT>\n")
        .arg(from.toHtmlEscaped(), text.toHtmlEscaped());
}

void Chat::ipcRecvChatData(const Message& msg)
{
    const ChatLine line = ChatLine::read(msg);
    QString html = formatLine(line.from.left(kMaxShownChars), line.text.left(kMaxShownChars));

    // The first line after a quiet spell shows at once; only when lines come
    // faster than the budget allows do they wait for the event loop.
    if (!m_flushQueued) {
        m_flushQueued = true;
        m_slice.start();
        QMetaObject::invokeMethod(this, &Chat::flushPending, Qt::QueuedConnection);
    }
    if (m_pending.empty() && !m_slice.hasExpired(APPEND_BUDGET_MS)) {
        appendLine(html);
        return;
    }
    m_pending.push_back(std::move(html));
    if (m_pending.size() > std::size_t(MAX_HISTORY_LINES)) {
        // The oldest waiting line, and all the history shows, would be cut
        // by the trim once the newer ones are in: never lay them out.
        m_pending.pop_front();
        m_clearFirst = true;
    }
}

void Chat::flushPending()
{
    m_slice.start();
    if (m_clearFirst) {
        m_clearFirst = false;
        m_history.clear();
    }
    while (!m_pending.empty() && !m_slice.hasExpired(APPEND_BUDGET_MS)) {
        appendLine(m_pending.front());
        m_pending.pop_front();
    }
    if (m_pending.empty()) {
        m_flushQueued = false;
        return;
    }
    QMetaObject::invokeMethod(this, &Chat::flushPending, Qt::QueuedConnection);
}

void Chat::appendLine(const QString& html)
{
    m_history.append(html);

    QTextDocument* doc = m_history.document();
    if (doc->blockCount() > MAX_HISTORY_LINES + HISTORY_TRIM_SLACK) {
        QTextCursor cut(doc);
        cut.setPosition(doc->findBlockByNumber(doc->blockCount() - MAX_HISTORY_LINES).position(),
                        QTextCursor::KeepAnchor);
        cut.removeSelectedText();
    }
}
