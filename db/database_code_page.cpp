// The code page of a connection's texts on the driver's side.
#include "db/database.h"
#include "db/db_exception.h"
#include "db/library_messages.h"

namespace vordex {

// Texts cross the connection in the host's code page on the library's side;
// on the driver's side, in the code page the driver's profile finds.
void CDatabase::ChooseDriverCodePage() {
    CodePages.host = platform::HostCodePage();
    CodePages.driver = Profile().DriverCodePage(*this);
    QuoteScannedByByte = Profile().ScansQuotesByByte(CodePages.driver);
}

// A driver that looks for the end of a quoted name byte by byte (MariaDB's
// over CHARSET=cp932) would end the name at a second byte equal to the quote.
void CDatabase::RefuseStatementDriverMisreads(const CText& sent) const {
    if (!QuoteScannedByByte) return;
    for (const char* p = sent.c_str(); *p != '\0';) {
        const size_t length = platform::CharLength(p, CodePages.driver);
        if (length == 2 && p[1] == QuoteChar) ThrowLibraryMessage(MessageDriverMisreadsName);
        p += length;
    }
}

}  // namespace vordex
