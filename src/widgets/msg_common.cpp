#include "widgets/msg_common.h"

#include "widgets/MessageDialog.h"

namespace vorteq {

namespace {

void tell(const QString& text)
{
    showMessage(text, MsgKind::Confirmation, MsgButtons::Ok);
}

bool ask(const QString& text)
{
    return showMessage(text, MsgKind::Confirmation, MsgButtons::YesNo) == MsgResult::Yes;
}

} // namespace

void msg_no_data()
{
    tell(QStringLiteral("データがありませんでした。"));
}

void msg_no_data(const QString& reason)
{
    tell(QStringLiteral("データがありませんでした。\n") + reason);
}

void msg_sql_error()
{
    tell(QStringLiteral("SQL ERROR"));
}

void msg_registered()
{
    tell(QStringLiteral("データを登録しました。"));
}

void msg_show(const QString& text)
{
    tell(text);
}

void msg_deleted()
{
    tell(QStringLiteral("データを削除しました。"));
}

bool msg_confirm_register()
{
    return ask(QStringLiteral("データを登録します。よろしいですか？"));
}

bool msg_confirm_delete()
{
    return ask(QStringLiteral("データを削除します。よろしいですか？"));
}

} // namespace vorteq
