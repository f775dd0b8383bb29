#pragma once

#include "db/text.h"

namespace vordex {

/// Message numbers of the library's own texts.
enum LibraryMessageId : unsigned {
    MessageUnrecoverableError = 1,
    MessageNoTableFound = 2,
    MessageTableCannotOpen = 3,
    MessageNoFieldFound = 4,
    MessageInsideSuffix = 5,
    MessageValueTooLong = 6,
    MessageDateTimeForm = 7,
    MessageBinaryForm = 8,
    MessageNotHostText = 9,
    MessageNameTooLong = 10,
    MessageNoDatabaseFile = 11,
    MessageNullKey = 12,
    MessageAmbiguousName = 13,
    MessageDriverMisreadsName = 14,
    MessageServerReadOnly = 15,
    MessageWriteOutcomeUnknown = 16,
    MessageWrittenNotReadAgain = 17,
    MessageRowNotFoundByKey = 18,
    MessageConnectionLost = 19,
    MessageNoAnswer = 20,
    /// A library error code's text is looked up under code + this offset.
    LibraryErrorMessageBase = 61080,
};

/// The library's text under `id`, in the host's code page; false (and `out`
/// untouched) when there is none.
bool LoadLibraryMessage(unsigned id, CText& out);

}  // namespace vordex
