#pragma once

#include "db/object.h"

namespace vordex {

class CDatabase;

/// A result set open on a connection. The connection closes every result set
/// still listed in its OpenRecordsets before it disconnects.
class CRecordset : public CObject {
public:
    /// The connection; cleared by the connection's Close.
    CDatabase* Database = nullptr;

    /// True while the statement has been executed and has a result.
    virtual bool IsOpen() = 0;
    /// Releases the statement and removes the result set from its connection's list.
    virtual void Close() = 0;
};

}  // namespace vordex
