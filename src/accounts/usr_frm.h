#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QToolButton;

namespace vorteq {

class THttpStatements;

// The account window: the logged-in user's registration and the changes of password and e-mail
// address, sent through the main window's statement client.
class Tfrm_user : public QDialog {
    Q_OBJECT
public:
    // FormCreate: shows usr_info as it is now.
    explicit Tfrm_user(THttpStatements& http, QWidget* parent = nullptr);

    // true when the new password may be sent; otherwise the message is shown and the focus moved.
    bool check_new_password();
    // The same for the new e-mail address.
    bool check_new_mail();
    void sbtn_get_stk_infoClick(); // "ﾊﾟｽﾜｰﾄﾞの変更"
    void SpeedButton1Click();      // "ﾒｰﾙｱﾄﾞﾚｽの変更"
    void sbtn_usr_closeClick();    // "終了"

    QLineEdit* edt_usr_id = nullptr;
    QLineEdit* edt_usr_pass = nullptr;
    QLineEdit* edt_usr_nm = nullptr;
    QLineEdit* edt_usr_mail = nullptr;
    QLineEdit* edt_usr_new_pass1 = nullptr;
    QLineEdit* edt_usr_new_pass2 = nullptr;
    QLineEdit* edt_usr_new_mail1 = nullptr;
    QLineEdit* edt_usr_new_mail2 = nullptr;
    QToolButton* sbtn_get_stk_info = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* sbtn_usr_close = nullptr;

private:
    // Sends one UPDATE after the question; true when the server took it. Reports every outcome but success.
    bool sendChange(const char* question, const std::string& statement, const char* failedText);

    THttpStatements& m_http;
};

} // namespace vorteq
