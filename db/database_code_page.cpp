// The code page of a connection's texts on the driver's side.
#include <cctype>
#include <string>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/library_messages.h"

namespace vordex {
namespace {

using platform::CodePage;

/// A MariaDB or MySQL character set's code page; `otherwise` for one that
/// is neither UTF-8 nor Shift_JIS.
CodePage CharacterSetCodePage(std::string name, CodePage otherwise) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.rfind("utf8", 0) == 0) return CodePage::Utf8;  // utf8, utf8mb3, utf8mb4
    if (name == "cp932" || name == "sjis") return CodePage::Cp932;
    return otherwise;
}

}  // namespace

// Texts cross the connection in the host's code page on the library's side.
// On the driver's side:
// - PostgreSQL sends nothing that its client encoding lacks: one such
//   character fails the whole statement (22P05). So the session speaks
//   UTF-8, which holds every character, whatever psqlODBC chose from the
//   locale or PGCLIENTENCODING, and the library converts.
// - SQLite keeps and sends text as UTF-8.
// - MariaDB sends the connection's character set (CHARSET=), and itself
//   puts "?" for a character that set lacks: a connection in the host's
//   code page needs no conversion here.
// A data source that cannot say is taken to send the host's code page.
void CDatabase::ChooseDriverCodePage() {
    CodePages.host = platform::HostCodePage();
    CodePages.driver = CodePages.host;
    const std::string dbms = DbmsName();
    if (dbms == "PostgreSQL") {
        if (ExecuteQuietly("SET client_encoding TO 'UTF8'")) CodePages.driver = CodePage::Utf8;
    } else if (dbms == "SQLite") {
        CodePages.driver = CodePage::Utf8;
    } else if (IsMariaDb(dbms)) {
        CodePages.driver = CharacterSetCodePage(QueryFirstValue("SELECT @@character_set_results"), CodePages.host);
        QuoteScannedByByte = CodePages.driver != CodePage::Utf8;
    }
}

// MariaDB's driver looks for the end of a quoted name byte by byte: with
// CHARSET=cp932 the second byte of "チ" (83 60) is a backtick to it, and the
// statement fails without a word from the server. The same name works over
// utf8mb4, where no second byte is below 0x80.
void CDatabase::RefuseStatementDriverMisreads(const CText& sent) const {
    if (!QuoteScannedByByte) return;
    for (const char* p = sent.c_str(); *p != '\0';) {
        const size_t length = platform::CharLength(p, CodePages.driver);
        if (length == 2 && p[1] == QuoteChar) ThrowLibraryMessage(MessageDriverMisreadsName);
        p += length;
    }
}

}  // namespace vordex
