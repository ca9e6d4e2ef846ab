#pragma once
// Byte strings as test data: a column type for data-driven tests, and a literal's bytes.
#include "ByteString.h"

#include <QMetaType>

Q_DECLARE_METATYPE(TByteString)

inline TByteString Bytes(const char* Text) {
    return TByteString(Text);
}
