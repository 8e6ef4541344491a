#pragma once

#include "byte_builder.h"

#include <QByteArray>

/// Builders for the toy format of the test plug-in (see toy/container_toy.h).
namespace ToyFile {

inline ByteBuilder &record(ByteBuilder &b, char tag, const ByteBuilder::Body &body = {})
{
    ByteBuilder payload;
    if (body)
        body(payload);
    return b.u8(quint8(tag)).u32be(quint32(payload.size())).raw(payload.bytes());
}

/// magic, a group holding a leaf, a bit byte and an entry table, then two frames.
inline QByteArray sample()
{
    ByteBuilder b;
    b.text("KTOY");
    record(b, 'G', [](ByteBuilder &g) {
        record(g, 'L', [](ByteBuilder &l) { l.text("hello"); });
        record(g, 'B', [](ByteBuilder &x) { x.u8(0xA5); });
        record(g, 'E', [](ByteBuilder &e) { e.u8(1).u8(2).u8(3); });
    });
    record(b, 'F', [](ByteBuilder &f) { f.zeros(3); });
    record(b, 'F', [](ByteBuilder &f) { f.zeros(2); });
    return b.bytes();
}

} // namespace ToyFile
