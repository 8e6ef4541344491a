#pragma once

#include "viewer_database.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

/// The bar over the element tree that finds elements by name, value and readable value.
///
/// It searches a short pause after the last key for the first match from the current element on,
/// then counts the matches; both run a slice of ids at a time from the event loop, so that typing
/// goes on while a large file is searched and counted. It selects nothing itself: it emits matchSelected, which
/// the window routes through its navigation.
class FindBar : public QWidget
{
    Q_OBJECT

public:
    /// database is not owned.
    explicit FindBar(ViewerDatabase *database, QWidget *parent = nullptr);

    ViewerDatabase::FindQuery query() const;
    /// "3 of 17", "No matches" or empty before a search.
    QString countText() const;
    /// The match shown, or -1.
    qint64 currentMatch() const { return m_match; }
    /// True while a search or the count of the matches still runs.
    bool isSearching() const;
    QLineEdit *textEdit() const { return m_edit; }
    QCheckBox *wholeWordBox() const { return m_wholeWord; }
    QCheckBox *namesOnlyBox() const { return m_namesOnly; }

    /// The element a search starts from when there is no match yet.
    void setStartId(qint64 id) { m_start = id; }

public slots:
    /// Shows the bar with its text selected and the keyboard focus in it.
    void activate();
    void findNext();
    void findPrevious();
    /// Forgets the matches and the count, as when another file is opened.
    void reset();

signals:
    /// The element to select; the window connects it to its navigation.
    void matchSelected(qint64 id);
    /// Escape or the close button: the bar is hidden and the tree should take the focus.
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search(bool backwards);
    void step(bool backwards);
    /// Looks for the first match after the element after (before it when backwards), round the
    /// ends; fresh for a new search, else a step from the match shown.
    void seek(const ViewerDatabase::FindQuery &wanted, qint64 after, bool backwards, bool fresh);
    void seekSlice();
    /// Looks at the next ids of the search up to an end of the file; the match or -1.
    qint64 seekRange();
    void seekFound(qint64 found);
    static void adaptSlice(qint64 &slice, qint64 spentMs);
    void startCount();
    void countSlice();
    void showCount();
    void close();

    ViewerDatabase *m_database;
    QLineEdit *m_edit;
    QLabel *m_countLabel;
    QCheckBox *m_wholeWord;
    QCheckBox *m_namesOnly;
    QToolButton *m_previous;
    QToolButton *m_next;
    QTimer *m_typingPause;
    QTimer *m_seeker;
    QTimer *m_counter;
    qint64 m_start = 1;
    qint64 m_match = -1;
    ViewerDatabase::FindQuery m_countedQuery;
    qint64 m_countedUpTo = 0; ///< the ids counted so far are 1 to this
    qint64 m_total = 0;
    qint64 m_position = 0; ///< the matches up to and including m_match, once counted that far
    qint64 m_slice = 0;
    ViewerDatabase::FindQuery m_seekQuery;
    qint64 m_seekNext = 0; ///< the id the next slice of the search starts at
    qint64 m_seekLeft = 0; ///< the ids the search has still to look at
    qint64 m_seekSlice = 0;
    bool m_seekBackwards = false;
    bool m_seekFresh = false;
    bool m_searched = false;
};
