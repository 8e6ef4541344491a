#include "navigation_history.h"

NavigationHistory::NavigationHistory(QObject *parent, int limit)
    : QObject(parent), m_limit(size_t(qMax(limit, 1)))
{
}

void NavigationHistory::record(qint64 from, qint64 to)
{
    if (from <= 0 || from == to)
        return;
    push(m_back, from);
    m_forward.clear();
    emit changed();
}

qint64 NavigationHistory::back(qint64 current)
{
    return step(m_back, m_forward, current);
}

qint64 NavigationHistory::forward(qint64 current)
{
    return step(m_forward, m_back, current);
}

void NavigationHistory::clear()
{
    m_back.clear();
    m_forward.clear();
    emit changed();
}

void NavigationHistory::push(std::deque<qint64> &stack, qint64 id) const
{
    if (!stack.empty() && stack.back() == id)
        return;
    stack.push_back(id);
    if (stack.size() > m_limit)
        stack.pop_front();
}

qint64 NavigationHistory::step(std::deque<qint64> &from, std::deque<qint64> &to, qint64 current)
{
    // The user may have walked back to an entry by other means; stepping to it would not move.
    while (!from.empty() && from.back() == current)
        from.pop_back();
    qint64 target = -1;
    if (!from.empty()) {
        target = from.back();
        from.pop_back();
        if (current > 0)
            push(to, current);
    }
    emit changed();
    return target;
}
