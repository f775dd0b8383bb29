#include "db/library_messages.h"

#include <iterator>
#include <string>

#include "platform/code_page.h"

namespace vordex {
namespace {

struct MessageEntry {
    unsigned id;
    const char* utf8;
};

// Kept in UTF-8 here; shown in the host's code page. Of the library error
// codes (1001-1028) those a user can act on have a text: a row changed
// elsewhere since it was read, a cursor kind the driver lacks, a lost
// connection. The others show the unrecoverable-error text.
constexpr MessageEntry kMessages[] = {
    {MessageUnrecoverableError, "ODBCﾄﾞﾗｲﾊﾞで回復できないエラーが発生しました."},
    {MessageNoTableFound, "テーブルが見つかりません."},
    {MessageTableCannotOpen, "テーブルがオープンできません."},
    {MessageNoFieldFound, "フィールドが見つかりません.\r\n\r\nODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい"},
    {MessageInsideSuffix, " 内に"},
    {MessageValueTooLong, "値が長すぎるため書き込めません (255バイトまで)."},
    {LibraryErrorMessageBase + 1008, "行が読まれた後に他で変更または削除されたため, 書き込めませんでした."},
    {LibraryErrorMessageBase + 1024, "行が読まれた後に他で変更または削除されたため, 書き込めませんでした."},
    {LibraryErrorMessageBase + 1012, "ODBCﾄﾞﾗｲﾊﾞがキーセット駆動カーソルを提供しないため, 表を読めません."},
    {LibraryErrorMessageBase + 1013, "ODBCﾄﾞﾗｲﾊﾞが静的カーソルを提供しません."},
    {LibraryErrorMessageBase + 1025, "ODBCﾄﾞﾗｲﾊﾞが動的カーソルを提供しません."},
    {LibraryErrorMessageBase + 1026, "サーバーとの接続が切れました. 表の終わりには達していません."},
    {MessageNotHostText, "値にこのコードページの文字でないバイトがあるため書き込めません."},
    {MessageBinaryForm, "バイナリ値は 00ff10 のように16進数字2桁ずつで書いて下さい."},
    {MessageDateTimeForm,
     "日付と時刻は yyyy-mm-dd, hh:mm:ss[.fffffffff], yyyy-mm-dd hh:mm:ss[.fffffffff] の形で書いて下さい."},
};

}  // namespace

bool LoadLibraryMessage(unsigned id, CText& out) {
    for (const MessageEntry& entry : kMessages) {
        if (entry.id == id) {
            const std::string text = platform::Utf8ToHost(entry.utf8);
            out.Assign(text.data(), text.size());
            return true;
        }
    }
    return false;
}

}  // namespace vordex
