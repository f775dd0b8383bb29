#include "fake_vordex_api.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vordex::cli::testing_support {
namespace {

FakeDataSource source;

size_t ReadableColumns() { return source.columns.size() < 32 ? source.columns.size() : 32; }

bool InRange(int index, size_t count) { return index >= 0 && static_cast<size_t>(index) < count; }

int GetVersion() { return 0x20070; }
int IsOpen() { return source.connected ? 1 : 0; }
void CloseRec() { source.recordOpen = false; }
void Close() {
    source.recordOpen = false;
    source.connected = false;
}

bool EnvironmentSays(const char* variable, const char* value) {
    const char* set = std::getenv(variable);
    return set != nullptr && std::strcmp(set, value) == 0;
}

/// A message as the library shows it: none with VORDEX_DIALOG=none, English
/// when asked, and in CP932 on a CP932 host (the texts here are UTF-8).
void Show(const std::string& japanese, const std::string& english) {
    if (EnvironmentSays("VORDEX_DIALOG", "none")) return;
    std::string text = EnvironmentSays("VORDEX_MESSAGES", "en") ? english : japanese;
    if (EnvironmentSays("VORDEX_CODEPAGE", "932")) {
        iconv_t converter = iconv_open("CP932", "UTF-8");
        std::string converted(text.size(), '\0');
        char* in = text.data();
        size_t inLeft = text.size();
        char* out = converted.data();
        size_t outLeft = converted.size();
        if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP932 converter");
        const size_t failed = iconv(converter, &in, &inLeft, &out, &outLeft);
        iconv_close(converter);
        if (failed != 0) throw std::runtime_error("no CP932 for " + text);
        text = converted.substr(0, converted.size() - outLeft);
    }
    std::fprintf(stderr, "VORDEX: %s\n", text.c_str());
    std::fflush(stderr);
}

int Table() {
    source.connected = true;
    if (source.tables.empty() && !source.choiceCancelled) Show("テーブルが見つかりません.", "No table was found.");
    return static_cast<int>(source.tables.size() < 32 ? source.tables.size() : 32);
}

const char* GetTableList(int index) { return InRange(index, source.tables.size()) ? source.tables[index].c_str() : ""; }
const char* GetDirName() { return ""; }

int Open(const char* tableName) {
    source.connected = true;
    for (const std::string& name : source.otherNames) {
        if (name == tableName) return static_cast<int>(source.columns.size());
    }
    if (source.tableName == tableName) return static_cast<int>(source.columns.size());
    Show(std::string(tableName) + " 内にフィールドが見つかりません.", std::string(tableName) + ": No field was found.");
    Show("ODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい",
         "Check the table name, the ODBC driver and the data source's database or file.");
    return 0;
}

/// A move onto a row with a long value fails, and says why.
bool LongValueAt(size_t row) {
    if (std::find(source.longValueRows.begin(), source.longValueRows.end(), row) == source.longValueRows.end()) {
        return false;
    }
    Show("値が255バイトを超えるため, 行を読めません.", "A value is longer than 255 bytes, so the row cannot be read.");
    return true;
}

const char* GetNameList(int index) { return InRange(index, ReadableColumns()) ? source.columns[index].c_str() : ""; }

int OpenRec() {
    if (source.openRecFails || LongValueAt(0)) return 0;
    source.recordOpen = true;
    source.currentRow = 0;
    return 1;
}

int IsEOF() { return !source.recordOpen || source.currentRow >= source.rows.size() ? 1 : 0; }

int MoveNext() {
    if (!source.recordOpen || static_cast<int>(source.currentRow) == source.moveNextFailsAtRow ||
        LongValueAt(source.currentRow + 1)) {
        return 0;
    }
    ++source.currentRow;
    return 1;
}

int Seek(int row) {
    if (!source.recordOpen || row < 0 || LongValueAt(static_cast<size_t>(row))) return 0;
    source.currentRow = static_cast<size_t>(row);
    return 1;
}

const char* GetData(int index) {
    ++source.getDataCalls;
    if (IsEOF() || !InRange(index, ReadableColumns())) return "";
    return source.rows[source.currentRow][index].c_str();
}

// The library's contract: each value then 0x1E, then NUL; the buffer size when
// a value does not fit.
int ListText(char* buffer, int size) {
    ++source.listTextCalls;
    if (IsEOF() || buffer == nullptr || size < 1) return 0;
    if (source.listTextDoesNotFit) {
        buffer[0] = '\0';
        return size;
    }
    size_t written = 0;
    int listed = 0;
    for (size_t i = 0; i < ReadableColumns(); ++i) {
        const std::string& value = source.rows[source.currentRow][i];
        if (written + value.size() + 2 > static_cast<size_t>(size)) {
            buffer[written] = '\0';
            return size;
        }
        std::memcpy(buffer + written, value.data(), value.size());
        written += value.size();
        buffer[written++] = '\x1E';
        ++listed;
    }
    buffer[written] = '\0';
    return listed;
}

int CanUpdate(int index) { return source.recordOpen && source.updatable && InRange(index, ReadableColumns()) ? 1 : 0; }

int Update(int index, const char* value) {
    ++source.updateCalls;
    if (IsEOF() || CanUpdate(index) == 0 || source.updateFails) return 0;
    source.rows[source.currentRow][static_cast<size_t>(index)] = std::string(value).substr(0, source.cutTo);
    return 1;
}

}  // namespace

FakeDataSource& Fake() { return source; }

VordexApi FakeApi() {
    VordexApi api;
    api.GetVersion = GetVersion;
    api.IsOpen = IsOpen;
    api.Close = Close;
    api.Table = Table;
    api.GetTableList = GetTableList;
    api.GetDirName = GetDirName;
    api.Open = Open;
    api.GetNameList = GetNameList;
    api.OpenRec = OpenRec;
    api.CloseRec = CloseRec;
    api.IsEOF = IsEOF;
    api.MoveNext = MoveNext;
    api.Seek = Seek;
    api.GetData = GetData;
    api.ListText = ListText;
    api.CanUpdate = CanUpdate;
    api.Update = Update;
    return api;
}

}  // namespace vordex::cli::testing_support
