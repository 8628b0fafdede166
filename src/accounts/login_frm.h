#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vorteq {

// The login window, shown before the main window exists. A successful login fills the session
// (usr_info, stk_upd_date, fx_upd_date, login_ok); every close writes SysData/vorteq.ini.
class Tfrm_login : public QDialog {
    Q_OBJECT
public:
    // FormCreate: login_ok false, stk_upd_date today, choice "ユーザーIDを保存", base_dir the current
    // folder unless the program was given one.
    explicit Tfrm_login(QWidget* parent = nullptr);

    // The registration web address shown at the bottom, a deployment setting.
    static void setRegistrationUrl(const QString& url);

    // A login again during a session: the user ID is this one and cannot be changed, so the main
    // window goes on for the same user.
    void keepUserId(const QString& userId);

    void FormShow();
    void btn_okClick();
    void btn_cancelClick();

    QLineEdit* edt_usr = nullptr;
    QLineEdit* edt_pass = nullptr;
    QComboBox* cbx_login = nullptr;
    QPushButton* btn_ok = nullptr;
    QPushButton* btn_cancel = nullptr;
    QLabel* lbl_url = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Every way of closing ends here (login, cancel, Escape, the title bar): FormClose.
    void done(int result) override;

private:
    void FormClose();

    QString m_keptUserId;
};

} // namespace vorteq
