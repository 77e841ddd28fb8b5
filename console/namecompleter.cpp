#include "console/namecompleter.h"

#include "console/infoedit.h"
#include "console/lines.h"
#include "console/surfacepanel.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>

namespace {

// Under the Name field, as wide as the editor's panel (the entries are long),
// above the editors and labels it covers while open.
const QRect kListRect(692, 474, 325, 170);

// What the entries are written with: names and places, the counts and dates,
// the dashes between them and the ellipsis of a cut entry.
const QString kEntryCharacters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz 0123456789"
                                                " ,.-'&()/ \u2014 \u2026");

// The list asks a row's size when it lays the rows out, when it is sized to
// them and again for every row it paints, and each answer shapes the row's
// text anew; the sizes of the rows shown are measured once.
class RowSizes : public QStyledItemDelegate
{
public:
    RowSizes(QHash<QString, QSize>& sizes, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_sizes(sizes)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString text = index.data().toString();
        auto known = m_sizes.constFind(text);
        if (known == m_sizes.cend())
            known = m_sizes.insert(text, QStyledItemDelegate::sizeHint(option, index));
        return *known;
    }

private:
    QHash<QString, QSize>& m_sizes;
};

bool isListKey(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter
        || key == Qt::Key_Escape;
}

} // namespace

NameCompleter::NameCompleter(QGraphicsView& view, QGraphicsScene& scene, InfoEdit& edit, Lines& lines)
    : m_scene(scene)
    , m_view(view)
    , m_edit(edit)
{
    qRegisterMetaType<QVector<HistoryCaller>>();
    m_list.resize(kListRect.size());
    m_list.setFont(SurfacePanel::surfaceFont(11, false));
    // The focus stays in the Name field: the list is pointed at, not typed in.
    m_list.setFocusPolicy(Qt::NoFocus);
    m_list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list.setTextElideMode(Qt::ElideRight);
    m_list.setObjectName(QStringLiteral("listNameCompletion"));
    m_list.setAccessibleName(tr("Earlier callers"));
    m_list.setItemDelegate(new RowSizes(m_rowSizes, &m_list));
    m_list.hide();
    QGraphicsProxyWidget* proxy = m_scene.addWidget(&m_list);
    proxy->setPos(kListRect.topLeft());
    proxy->setZValue(30.0);

    connect(&m_edit.nameEditor(), &QLineEdit::textEdited, this, &NameCompleter::typed);
    connect(&m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { choose(m_list.row(item)); });
    connect(&lines, &Lines::lineSelected, this, &NameCompleter::close);
    // Another field took the keyboard (a click on the list takes it from
    // nobody).
    connect(&m_scene, &QGraphicsScene::focusItemChanged, this, [this](QGraphicsItem* now) {
        if (now && now != m_edit.nameEditor().graphicsProxyWidget())
            close();
    });
    // Installed after the keyboard's filter, so it is asked first.
    m_view.installEventFilter(this);
    m_edit.nameEditor().installEventFilter(this);
}

NameCompleter::~NameCompleter()
{
    m_view.removeEventFilter(this);
    m_edit.nameEditor().removeEventFilter(this);
    if (QGraphicsProxyWidget* proxy = m_list.graphicsProxyWidget()) {
        proxy->setWidget(nullptr);
        delete proxy;
    }
}

void NameCompleter::setSource(CallerHistorySource* source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    close();
    if (source)
        connect(source, &CallerHistorySource::callersFound, this, &NameCompleter::found);
}

QStringList NameCompleter::shownTexts() const
{
    QStringList out;
    if (isShown())
        for (int i = 0; i < m_list.count(); ++i)
            out << m_list.item(i)->text();
    return out;
}

void NameCompleter::typed(const QString& text)
{
    if (!m_source || text.trimmed().size() < MinTyped) {
        close();
        return;
    }
    // Whatever is shown stays until the answer for this text replaces it.
    m_asked = text;
    m_ticket = m_source->findCallers(text, MaxShown);
}

void NameCompleter::found(int ticket, const QVector<HistoryCaller>& callers)
{
    // Typed past, chosen meanwhile, or another console's question.
    if (ticket != m_ticket || m_edit.nameEditor().text() != m_asked || !m_edit.nameEditor().isEnabled())
        return;
    m_ticket = 0;
    m_callers = callers;
    if (callers.isEmpty()) {
        close();
        return;
    }
    QStringList texts;
    QStringList tips;
    for (const HistoryCaller& c : callers) {
        texts << c.text();
        tips << (c.flag.isEmpty() ? texts.last() : QStringLiteral("%1\n%2").arg(texts.last(), c.flag));
    }
    // Typing on through a name often brings the same callers again: the
    // rows shown stay, and are not laid out and painted anew.
    bool same = isShown() && m_list.count() == texts.size();
    for (int i = 0; same && i < texts.size(); ++i)
        same = m_list.item(i)->text() == texts.at(i) && m_list.item(i)->toolTip() == tips.at(i);
    if (!same) {
        m_rowSizes.clear();
        m_list.clear();
        for (int i = 0; i < texts.size(); ++i)
            (new QListWidgetItem(texts.at(i), &m_list))->setToolTip(tips.at(i));
    }
    m_list.setCurrentRow(-1);
    if (same)
        return;
    // As high as its entries.
    const int rows = std::min(m_list.count(), int(MaxShown));
    m_list.resize(kListRect.width(),
                  std::min(kListRect.height(), rows * m_list.sizeHintForRow(0) + 2 * m_list.frameWidth()));
    m_list.show();
}

void NameCompleter::choose(int row)
{
    if (row < 0 || row >= m_callers.size())
        return;
    const HistoryCaller chosen = m_callers.at(row);
    close();
    m_edit.fillCaller(chosen.name, chosen.location);
}

void NameCompleter::close()
{
    m_ticket = 0;
    m_list.hide();
    m_list.clear();
    m_rowSizes.clear();
    m_callers.clear();
}

// The list's first showing would load its font, measure its text, render
// every glyph of it at the view's scaling and polish the list, all in the
// turn that shows it: milliseconds in the middle of typing. The Name field
// taking the keyboard comes well before a list can (two typed characters and
// the log's answer), so that is when this is done, once for each scaling of
// the view, in short turns of its own after the focus has been drawn.
void NameCompleter::prepareList()
{
    const QWidget& viewport = *m_view.viewport();
    const qreal ratio = viewport.devicePixelRatioF();
    const QTransform scaling = m_view.transform() * QTransform::fromScale(ratio, ratio);
    if (!m_source || (m_prepared && m_preparedFor == scaling))
        return;
    m_prepared = true;
    m_preparedFor = scaling;
    m_list.ensurePolished();
    prepareGlyphs(0);
}

// A glyph is rendered once for each quarter pixel it may start at across;
// one quarter a turn.
void NameCompleter::prepareGlyphs(int quarter)
{
    const QFontMetrics metrics(m_list.font());
    const QRect text(0, 0, metrics.horizontalAdvance(kEntryCharacters) + 1, metrics.height());
    QImage image(m_preparedFor.mapRect(text).size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setTransform(m_preparedFor * QTransform::fromTranslate(quarter / 4.0, 0));
    painter.setFont(m_list.font());
    painter.drawText(QPointF(0, metrics.ascent()), kEntryCharacters);
    if (quarter < 3)
        QTimer::singleShot(0, this, [this, quarter] { prepareGlyphs(quarter + 1); });
}

bool NameCompleter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_edit.nameEditor()) {
        if (event->type() == QEvent::FocusIn)
            QTimer::singleShot(0, this, &NameCompleter::prepareList);
        return false;
    }
    if (watched != &m_view || !isShown()
        || (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (!isListKey(key->key()) || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier
        || !m_edit.nameEditor().hasFocus())
        return false;
    // The list's keys are its own while it shows (Escape would leave the
    // field otherwise): taken as key presses, not as the console's keys.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    const int rows = m_list.count();
    switch (key->key()) {
    case Qt::Key_Up:
        m_list.setCurrentRow(m_list.currentRow() <= 0 ? rows - 1 : m_list.currentRow() - 1);
        return true;
    case Qt::Key_Down:
        m_list.setCurrentRow(m_list.currentRow() + 1 >= rows ? 0 : m_list.currentRow() + 1);
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    default:
        // Return with nothing highlighted closes the list and is the
        // field's as always.
        if (m_list.currentRow() < 0) {
            close();
            return false;
        }
        choose(m_list.currentRow());
        return true;
    }
}
