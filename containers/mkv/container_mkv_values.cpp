#include "container_mkv.h"

#include "status.h"

int ContainerMKV::parseSegment(ElementMKV *)
{
    return Status::Success;
}

int ContainerMKV::parseDate(ElementMKV *element)
{
    return reportValueSInteger(element);
}

int ContainerMKV::parseNanoseconds(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parseSignedNanoseconds(ElementMKV *element)
{
    return reportValueSInteger(element);
}

int ContainerMKV::parseTicks(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parseSignedTicks(ElementMKV *element)
{
    return reportValueSInteger(element);
}

int ContainerMKV::parseSegmentDuration(ElementMKV *element)
{
    return reportValueFloat(element);
}

int ContainerMKV::parseSegmentPosition(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parseCueRelativePosition(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parseSeekID(ElementMKV *element)
{
    return reportValueBinary(element);
}

int ContainerMKV::parseFlag(ElementMKV *element)
{
    return reportValueUInteger(element);
}

int ContainerMKV::parseTagName(ElementMKV *element)
{
    return reportValueUTF8(element);
}

int ContainerMKV::parseTagString(ElementMKV *element)
{
    return reportValueUTF8(element);
}

QString ContainerMKV::nanosecondsText(qint64 nanoseconds)
{
    return QString::number(nanoseconds);
}

QString ContainerMKV::ticksText(double ticks) const
{
    return QString::number(ticks);
}
