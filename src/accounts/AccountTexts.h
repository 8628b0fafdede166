#pragma once

// The fixed texts of the login and account windows. A line break inside a message is LF CR, the
// order the message boxes have always received; the dialogs show it as one break.
namespace vorteq::texts {

inline constexpr const char* kBreak = "\n\r";

// Login window.
inline constexpr const char* kLoginCaption = "VORTEQ ログイン画面";
inline constexpr const char* kLoginPrompt = "ユーザーIDとパスワードを入力して下さい。";
inline constexpr const char* kNoUserId = "ユーザーIDが入力されていません。";
inline constexpr const char* kNoPassword = "パスワードが入力されていません。";
inline constexpr const char* kLoginFailed = "ログインに失敗しました。";
inline constexpr const char* kLoginRefused =
    "VORTEQにログイン出来ませんでした。\n\r"
    "\n\r"
    "ログイン出来なかった原因としては以下のことが考えられます\n\r"
    "\n\r"
    "①ユーザーID、またはパスワードが間違っている\n\r"
    "\n\r"
    "問題が解決されない場合は、当社ウェブサイトよりお問い合わせ下さい。";
// A login or password change the server held back after repeated failures from this computer.
inline constexpr const char* kLoginThrottled =
    "ログインの失敗が続いたため、このコンピューターからのログインを一時的に受け付けていません。";
inline constexpr const char* kLoginThrottledRetry = "しばらく待ってから、もう一度お試しください。";
inline constexpr const char* kMailUndeliverable =
    "登録されているメールアドレスへの連絡が出来なくなっている可能性があります。\n\r"
    "\n\r"
    "ユーザー情報よりメールアドレスが正しく登録されているかご確認ください。";

// Account window.
inline constexpr const char* kBadNewPassword = "パスワードが正しく入力されていません。";
inline constexpr const char* kConfirmPasswordChange = "パスワードを変更します。よろしいですか？";
inline constexpr const char* kPasswordChanged = "パスワードは正常に更新されました。\n\r"
                                                "\n\r"
                                                "次回ログインから変更後のパスワードが有効になります。";
inline constexpr const char* kPasswordNotChanged = "パスワードは正しく更新されませんでした。";
inline constexpr const char* kBadNewMail = "メールアドレスが正しく入力されていません。";
inline constexpr const char* kConfirmMailChange = "メールアドレスを変更します。よろしいですか？";
inline constexpr const char* kMailChanged = "メールアドレスは正常に更新されました。\n\r"
                                            "\n\r"
                                            "今後、当社からの連絡は変更後のメールアドレスにさせて頂きます。";
inline constexpr const char* kMailNotChanged = "メールアドレスは正しく更新されませんでした。";

} // namespace vorteq::texts
