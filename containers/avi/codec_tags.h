#pragma once

#include <QtGlobal>

/// One record of the codec tag table: a FourCC as stored in a BITMAPINFOHEADER's biCompression
/// field (the little-endian number of its four bytes) and the codec id it stands for.
struct CodecTag
{
    uint codecId;
    quint32 fourcc;
};

/// The codec tag table, ended by a record whose codec id is 0. A FourCC listed under two ids
/// belongs to the earlier record.
extern const CodecTag codecTagTable[];
