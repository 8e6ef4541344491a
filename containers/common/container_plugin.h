#pragma once

#include "container_abstract.h"

#include <QString>
#include <QStringList>

#include <new>

/// Defines the three entry points of a container plug-in:
///   containerName()       the short format name
///   supportedExtensions() the extensions, written as one text split at "|"
///   createParser()        a new parser, owned by the caller; null when it cannot be made
#define KESTRUNE_CONTAINER_PLUGIN(ParserClass, name, extensions)                                  \
    extern "C" Q_DECL_EXPORT QString containerName() { return QStringLiteral(name); }             \
    extern "C" Q_DECL_EXPORT QStringList supportedExtensions()                                     \
    {                                                                                              \
        return QStringLiteral(extensions).split(QLatin1Char('|'), Qt::KeepEmptyParts,              \
                                                Qt::CaseSensitive);                               \
    }                                                                                              \
    extern "C" Q_DECL_EXPORT ContainerAbstract *createParser()                                    \
    {                                                                                              \
        try {                                                                                      \
            return new (std::nothrow) ParserClass;                                                 \
        } catch (...) {                                                                            \
            return nullptr;                                                                        \
        }                                                                                          \
    }
