#include "container_mkv.h"

#include "status.h"

int ContainerMKV::parseCodecID(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, element->dataSize, &bytes);
    if (status != Status::Success)
        return status;
    const qsizetype zero = bytes.indexOf('\0');
    const QString codec = QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
    addValue(element, codec);
    const int stream = currentStream();
    if (stream >= 0 && !dataCut(element))
        streams[stream].codec = codec;
    return Status::Success;
}

int ContainerMKV::parseCodecPrivate(ElementMKV *element)
{
    const int status = reportValueBinary(element);
    const int stream = currentStream();
    if (status == Status::Success && stream >= 0 && !dataCut(element)) {
        streams[stream].configOffset = element->dataOffset;
        streams[stream].configSize = element->dataSize;
    }
    return status;
}
