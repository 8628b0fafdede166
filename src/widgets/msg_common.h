#pragma once

#include <QString>

// The fixed message boxes of the main window's features. Every one is a confirmation box ("確認",
// question mark), whether it asks or only informs.
namespace vorteq {

void msg_no_data(); // "データがありませんでした。"
// "データがありませんでした。" and, on a second line, why there was none.
void msg_no_data(const QString& reason);
void msg_sql_error();               // "SQL ERROR"
void msg_registered();              // "データを登録しました。"
void msg_show(const QString& text); // any text, for validation messages and notices
void msg_deleted();                 // "データを削除しました。"
bool msg_confirm_register(); // "データを登録します。よろしいですか？": true only for Yes
bool msg_confirm_delete();   // "データを削除します。よろしいですか？": true only for Yes

} // namespace vorteq
