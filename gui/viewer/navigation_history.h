#pragma once

#include <QObject>

#include <deque>

/// The elements a user jumped from, for Back and Forward as a web browser has them.
///
/// A jump records the element it leaves; Back returns to the last one left and keeps the
/// element it leaves for Forward; a new jump forgets what Forward held. Each stack keeps its
/// newest entries up to a bound, the oldest going first.
class NavigationHistory : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultLimit = 1000;

    explicit NavigationHistory(QObject *parent = nullptr, int limit = defaultLimit);

    /// A jump from element from to element to; nothing is kept when both are the same or from is
    /// no element.
    void record(qint64 from, qint64 to);
    /// The element to go back to from current, or -1 when there is none.
    qint64 back(qint64 current);
    /// The element to go forward to from current, or -1 when there is none.
    qint64 forward(qint64 current);
    bool canGoBack() const { return !m_back.empty(); }
    bool canGoForward() const { return !m_forward.empty(); }
    int backCount() const { return int(m_back.size()); }
    int forwardCount() const { return int(m_forward.size()); }
    void clear();

signals:
    /// Either stack changed.
    void changed();

private:
    void push(std::deque<qint64> &stack, qint64 id) const;
    /// Takes the newest entry of from that is not current, keeping current on to.
    qint64 step(std::deque<qint64> &from, std::deque<qint64> &to, qint64 current);

    std::deque<qint64> m_back;
    std::deque<qint64> m_forward;
    size_t m_limit;
};
