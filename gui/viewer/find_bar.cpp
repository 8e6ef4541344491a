#include "find_bar.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

namespace {

// Typing faster than this does not start a search for every key.
constexpr int typingPauseMs = 150;
// A slice of a search or of the count takes about this long, so that events get through
// between slices.
constexpr qint64 sliceMs = 15;
constexpr qint64 firstSlice = 1 << 16;
constexpr qint64 minSlice = 1 << 12;
constexpr qint64 maxSlice = 1 << 22;

bool sameQuery(const ViewerDatabase::FindQuery &a, const ViewerDatabase::FindQuery &b)
{
    return a.text == b.text && a.wholeWord == b.wholeWord && a.nameOnly == b.nameOnly;
}

} // namespace

FindBar::FindBar(ViewerDatabase *database, QWidget *parent)
    : QWidget(parent), m_database(database), m_edit(new QLineEdit(this)), m_countLabel(new QLabel(this)),
      m_wholeWord(new QCheckBox(tr("Whole word"), this)), m_namesOnly(new QCheckBox(tr("Names only"), this)),
      m_previous(new QToolButton(this)), m_next(new QToolButton(this)), m_typingPause(new QTimer(this)),
      m_seeker(new QTimer(this)), m_counter(new QTimer(this))
{
    m_edit->setPlaceholderText(tr("Find name or value"));
    m_edit->setClearButtonEnabled(true);
    m_countLabel->setMinimumWidth(m_countLabel->fontMetrics().horizontalAdvance(QStringLiteral("0000000 of 0000000…")));
    // Text rather than arrows and title-bar icons, which not every style and platform draws.
    m_previous->setText(QStringLiteral("\u25B2"));
    m_previous->setToolTip(tr("Previous match (Shift+F3)"));
    m_next->setText(QStringLiteral("\u25BC"));
    m_next->setToolTip(tr("Next match (F3)"));
    auto *closeButton = new QToolButton(this);
    closeButton->setText(QStringLiteral("\u00D7"));
    closeButton->setAutoRaise(true);
    closeButton->setToolTip(tr("Close (Escape)"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_countLabel);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_wholeWord);
    layout->addWidget(m_namesOnly);
    layout->addWidget(closeButton);
    for (QWidget *child : {static_cast<QWidget *>(m_edit), static_cast<QWidget *>(m_wholeWord),
                           static_cast<QWidget *>(m_namesOnly), static_cast<QWidget *>(m_previous),
                           static_cast<QWidget *>(m_next), static_cast<QWidget *>(closeButton)})
        child->installEventFilter(this);

    m_typingPause->setSingleShot(true);
    m_typingPause->setInterval(typingPauseMs);
    m_seeker->setInterval(0);
    m_counter->setInterval(0);
    const auto searchForward = [this] { search(false); };
    connect(m_edit, &QLineEdit::textEdited, m_typingPause, qOverload<>(&QTimer::start));
    connect(m_typingPause, &QTimer::timeout, this, searchForward);
    connect(m_wholeWord, &QCheckBox::toggled, this, searchForward);
    connect(m_namesOnly, &QCheckBox::toggled, this, searchForward);
    connect(m_previous, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(m_next, &QToolButton::clicked, this, &FindBar::findNext);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::close);
    connect(m_seeker, &QTimer::timeout, this, &FindBar::seekSlice);
    connect(m_counter, &QTimer::timeout, this, &FindBar::countSlice);
}

ViewerDatabase::FindQuery FindBar::query() const
{
    ViewerDatabase::FindQuery query;
    query.text = m_edit->text();
    query.wholeWord = m_wholeWord->isChecked();
    query.nameOnly = m_namesOnly->isChecked();
    return query;
}

QString FindBar::countText() const
{
    return m_countLabel->text();
}

bool FindBar::isSearching() const
{
    return m_seeker->isActive() || m_counter->isActive();
}

void FindBar::activate()
{
    show();
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

void FindBar::findNext()
{
    step(false);
}

void FindBar::findPrevious()
{
    step(true);
}

void FindBar::reset()
{
    m_typingPause->stop();
    m_seeker->stop();
    m_counter->stop();
    m_match = -1;
    m_searched = false;
    m_countLabel->clear();
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    if (watched == m_edit && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        step(key->modifiers() & Qt::ShiftModifier);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::search(bool backwards)
{
    m_typingPause->stop();
    m_seeker->stop();
    m_counter->stop();
    m_searched = true;
    m_match = -1;
    const ViewerDatabase::FindQuery wanted = query();
    if (wanted.text.isEmpty()) {
        m_countLabel->clear();
        return;
    }
    // Forwards from the start element itself, backwards from the one before it.
    seek(wanted, backwards ? m_start : m_start - 1, backwards, true);
}

void FindBar::step(bool backwards)
{
    // A step asked for while a search for the same text still runs is dropped.
    if (m_seeker->isActive() && !m_typingPause->isActive() && sameQuery(query(), m_seekQuery))
        return;
    // A key or F3 before the pause ran out searches for what is typed now.
    if (m_typingPause->isActive() || !m_searched || m_match < 0 || !sameQuery(query(), m_countedQuery)) {
        search(backwards);
        return;
    }
    seek(m_countedQuery, m_match, backwards, false);
}

void FindBar::seek(const ViewerDatabase::FindQuery &wanted, qint64 after, bool backwards, bool fresh)
{
    const qint64 count = m_database->elementCount();
    m_seekQuery = wanted;
    m_seekBackwards = backwards;
    m_seekFresh = fresh;
    m_seekLeft = count;
    m_seekSlice = firstSlice;
    // Every id once, round the ends, the element after itself last.
    m_seekNext = backwards ? (after <= 1 || after > count ? count : after - 1) : (after >= count || after < 0 ? 1 : after + 1);
    seekSlice();
    if (m_seekLeft > 0) {
        if (fresh)
            m_countLabel->setText(tr("Searching…"));
        m_seeker->start();
    }
}

void FindBar::seekSlice()
{
    QElapsedTimer clock;
    clock.start();
    qint64 found = -1;
    // A slice that reaches an end of the file goes on round it while it has time.
    while (m_seekLeft > 0) {
        found = seekRange();
        if (found > 0 || clock.elapsed() >= sliceMs)
            break;
    }
    if (found > 0) {
        m_seekLeft = 0;
        m_seeker->stop();
        seekFound(found);
    } else if (m_seekLeft <= 0) {
        m_seeker->stop();
        if (m_seekFresh)
            m_countLabel->setText(tr("No matches"));
    }
}

qint64 FindBar::seekRange()
{
    const qint64 count = m_database->elementCount();
    const qint64 length = qMin(m_seekSlice, m_seekLeft);
    qint64 first = m_seekNext;
    qint64 last = m_seekNext;
    if (m_seekBackwards)
        first = qMax<qint64>(1, last - length + 1);
    else
        last = qMin(count, first + length - 1);
    QElapsedTimer clock;
    clock.start();
    const qint64 found = m_database->firstMatch(m_seekQuery, first, last, m_seekBackwards);
    adaptSlice(m_seekSlice, clock.elapsed());
    m_seekLeft -= last - first + 1;
    m_seekNext = m_seekBackwards ? (first > 1 ? first - 1 : count) : (last < count ? last + 1 : 1);
    return found;
}

void FindBar::seekFound(qint64 found)
{
    if (m_seekFresh) {
        m_match = found;
        emit matchSelected(m_match);
        startCount();
        return;
    }
    const qint64 old = m_match;
    const bool backwards = m_seekBackwards;
    m_match = found;
    const bool wrapped = backwards ? found >= old : found <= old;
    // m_position counts the matches up to min(m_countedUpTo, m_match); the matches between the
    // old and the new one are just the new one.
    if (wrapped)
        m_position = backwards ? m_total : (m_countedUpTo >= found ? 1 : 0);
    else if (m_countedUpTo >= (backwards ? old : found))
        m_position += backwards ? -1 : 1;
    showCount();
    emit matchSelected(m_match);
}

void FindBar::adaptSlice(qint64 &slice, qint64 spentMs)
{
    // Growing at most twofold: the rows after a run of cheap ones may cost far more each.
    slice = qBound(minSlice, qMin(slice * 2, slice * sliceMs / qMax<qint64>(spentMs, 1)), maxSlice);
}

void FindBar::startCount()
{
    m_countedQuery = query();
    m_countedUpTo = 0;
    m_total = 0;
    m_position = 0;
    m_slice = firstSlice;
    m_counter->start();
    showCount();
}

void FindBar::countSlice()
{
    const qint64 last = m_database->elementCount();
    qint64 end = qMin(m_countedUpTo + m_slice, last);
    // A slice ends at the match, so that its place is known.
    if (m_countedUpTo < m_match && end > m_match)
        end = m_match;
    QElapsedTimer clock;
    clock.start();
    const qint64 found = m_database->countMatches(m_countedQuery, m_countedUpTo + 1, end);
    m_total += found;
    if (end <= m_match)
        m_position += found;
    m_countedUpTo = end;
    adaptSlice(m_slice, clock.elapsed());
    if (m_countedUpTo >= last)
        m_counter->stop();
    showCount();
}

void FindBar::showCount()
{
    const bool placed = m_countedUpTo >= m_match;
    if (!m_counter->isActive()) {
        m_countLabel->setText(tr("%1 of %2").arg(m_position).arg(m_total));
        return;
    }
    m_countLabel->setText(placed ? tr("%1 of %2…").arg(m_position).arg(m_total) : tr("Counting…"));
}

void FindBar::close()
{
    m_typingPause->stop();
    hide();
    emit closed();
}
