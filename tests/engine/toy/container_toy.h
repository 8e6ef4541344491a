#pragma once

#include "container_abstract.h"

/// A parser for the toy format that the engine tests use:
///
///   file    = "KTOY" record*
///   record  = tag:u8 length:u32be payload[length]
///   tag 'G' a group; its payload is records
///       'L' a leaf; its payload is its value text
///       'B' one byte shown as two 4-bit fields
///       'F' a frame of stream 0; the payload is the frame's bytes
///       'E' numbered entries: one element per payload byte, index = its position
///       'S' a record that the parser claims to consume nothing of (to stall the walk)
///       'X' a record the parser fails on: it reports what it has and returns status 5
///       'M' a record whose parse runs out of memory
/// The toy format has no use for the number_base option.
class ContainerToy : public ContainerAbstract
{
public:
    ContainerToy();
    QStringList unusedOptions() const override;

protected:
    int verifyContainerFormat(const QString &fileName) override;
    int findBeginOfContainer(qint64 *offset) override;
    int parseElement(quint64 *size) override;
    void prepareParsing() override {}
    void finalizeParsing() override;

private:
    int parseRecord(quint64 start, quint64 end, quint64 *size);
    quint64 m_frames = 0;
};
