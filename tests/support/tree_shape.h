#pragma once

#include "element_sink.h"

#include <QString>

#include <vector>

/// Checks of the shape every element tree must have, over the final records of a parse (a group
/// sent before it closed in the form of its last update), as a RecordingSink keeps them.
namespace TreeShape {

/// "name@offset+size (id N)", offsets and sizes in bytes, bits after a colon.
inline QString describe(const ElementRecord &e)
{
    const auto bytes = [](qint64 bits) {
        return bits % 8 == 0 ? QString::number(bits / 8) : QStringLiteral("%1:%2").arg(bits / 8).arg(bits % 8);
    };
    return QStringLiteral("%1@%2+%3 (id %4)").arg(e.name, bytes(e.offset), bytes(e.size)).arg(e.id);
}

/// The first way in which the tree breaks its shape, or an empty text: ids 1, 2, 3... in
/// depth-first pre-order (the subtree of each element right after it), each level one more than
/// its parent's, each element inside its parent and inside a file of fileBits, and each
/// element's last child id that of its last direct child, 0 for none.
inline QString fault(const std::vector<ElementRecord> &all, qint64 fileBits)
{
    // The ancestors of the element being checked, outermost first. In pre-order the parent of
    // every element is on this path; one that is not means a subtree was interrupted.
    std::vector<const ElementRecord *> path;
    std::vector<qint64> lastChild(all.size() + 1, 0);
    for (size_t i = 0; i < all.size(); ++i) {
        const ElementRecord &e = all[i];
        if (e.id != qint64(i) + 1)
            return describe(e) + QStringLiteral(" where id %1 was due").arg(i + 1);
        while (!path.empty() && path.back()->id != e.parentId)
            path.pop_back();
        if (e.parentId != 0 && path.empty())
            return describe(e) + QStringLiteral(": its parent %1 is not one of the groups still open").arg(e.parentId);
        if (e.level != int(path.size()))
            return describe(e) + QStringLiteral(": level %1 under a parent of level %2").arg(e.level).arg(int(path.size()) - 1);
        if (e.offset < 0 || e.size < 0 || e.offset > fileBits || e.size > fileBits - e.offset)
            return describe(e) + QStringLiteral(" lies outside the file of %1 bytes").arg(fileBits / 8);
        if (!path.empty()) {
            const ElementRecord &parent = *path.back();
            if (e.offset < parent.offset || e.offset + e.size > parent.offset + parent.size)
                return describe(e) + QStringLiteral(" lies outside its parent ") + describe(parent);
        }
        lastChild[size_t(e.parentId)] = e.id;
        path.push_back(&e);
    }
    for (const ElementRecord &e : all)
        if (e.lastChildId != lastChild[size_t(e.id)])
            return describe(e) + QStringLiteral(": last child %1, but it is %2").arg(e.lastChildId).arg(lastChild[size_t(e.id)]);
    return QString();
}

} // namespace TreeShape
