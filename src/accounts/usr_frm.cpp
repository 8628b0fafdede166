#include "accounts/usr_frm.h"

#include "accounts/AccountChange.h"
#include "accounts/AccountTexts.h"
#include "accounts/LoginBatch.h"
#include "gateway/THttpStatements.h"
#include "widgets/MessageDialog.h"
#include "workbench/orq_common.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace vorteq {

namespace {

QLineEdit* edit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QLineEdit* registeredField(QWidget* parent, const char* name, const std::string& value)
{
    auto* e = edit(parent, name);
    e->setReadOnly(true);
    e->setEnabled(false);
    e->setText(QString::fromStdString(value));
    return e;
}

QLineEdit* entryField(QWidget* parent, const char* name, int maxLength)
{
    auto* e = edit(parent, name);
    e->setMaxLength(maxLength);
    e->setAttribute(Qt::WA_InputMethodEnabled, false);
    e->setMinimumWidth(maxLength > 10 ? 260 : 160);
    return e;
}

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QToolButton* button(QWidget* parent, const char* name, const QString& text)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumWidth(120);
    return b;
}

struct Entry {
    QString caption;
    QLineEdit* field;
};

// One change: the note on top, the new value and its repetition, the button at the bottom right, beside
// the rule when there is one. Labels are named after the key: lbl_<key>_note, lbl_new_<key>1, ...
QGroupBox* changeGroup(QWidget* parent, const char* key, const QString& note, const Entry& first,
                       const Entry& second, QToolButton* send, const QString& rule)
{
    const auto name = [key](const char* before, const char* after = "") {
        return QLatin1String(before) + QLatin1String(key) + QLatin1String(after);
    };
    auto* box = new QGroupBox(parent);
    box->setObjectName(name("gb_usr_"));
    auto* grid = new QGridLayout(box);
    const auto addLabel = [&](const QString& labelName, const QString& text, int row, int span) {
        auto* l = new QLabel(text, box);
        l->setObjectName(labelName);
        grid->addWidget(l, row, 0, 1, span);
    };
    addLabel(name("lbl_", "_note"), note, 0, 3);
    addLabel(name("lbl_new_", "1"), first.caption, 1, 1);
    grid->addWidget(first.field, 1, 1);
    addLabel(name("lbl_new_", "2"), second.caption, 2, 1);
    grid->addWidget(second.field, 2, 1);
    if (rule.isEmpty()) {
        grid->addWidget(send, 2, 2);
    } else {
        addLabel(name("lbl_", "_rule"), rule, 3, 2);
        grid->addWidget(send, 3, 2);
    }
    grid->setColumnStretch(1, 1);
    return box;
}

} // namespace

Tfrm_user::Tfrm_user(THttpStatements& http, QWidget* parent) : QDialog(parent), m_http(http)
{
    const TUSRInfo& user = session().usr_info;
    setObjectName(QStringLiteral("frm_user"));
    setWindowTitle(QStringLiteral("ユーザー情報"));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 10);
    layout->setSpacing(10);

    auto* registered = new QGroupBox(QStringLiteral("登録情報"), this);
    registered->setObjectName(QStringLiteral("gb_usr_info"));
    auto* regGrid = new QGridLayout(registered);
    edt_usr_id = registeredField(registered, "edt_usr_id", user.userId);
    edt_usr_pass = registeredField(registered, "edt_usr_pass", user.password);
    edt_usr_nm = registeredField(registered, "edt_usr_nm", user.userName);
    edt_usr_mail = registeredField(registered, "edt_usr_mail", user.email);
    regGrid->addWidget(label(registered, "lbl_usr_id", QStringLiteral("ユーザーID")), 0, 0);
    regGrid->addWidget(edt_usr_id, 0, 1);
    regGrid->addWidget(label(registered, "lbl_usr_pass", QStringLiteral("パスワード")), 1, 0);
    regGrid->addWidget(edt_usr_pass, 1, 1);
    regGrid->addWidget(label(registered, "lbl_usr_nm", QStringLiteral("名前")), 2, 0);
    regGrid->addWidget(edt_usr_nm, 2, 1);
    regGrid->addWidget(label(registered, "lbl_usr_mail", QStringLiteral("メールアドレス")), 3, 0);
    regGrid->addWidget(edt_usr_mail, 3, 1);
    regGrid->setColumnStretch(1, 1);
    layout->addWidget(registered);

    edt_usr_new_pass1 = entryField(this, "edt_usr_new_pass1", 10);
    edt_usr_new_pass2 = entryField(this, "edt_usr_new_pass2", 10);
    sbtn_get_stk_info = button(this, "sbtn_get_stk_info", QStringLiteral("ﾊﾟｽﾜｰﾄﾞの変更"));
    layout->addWidget(changeGroup(
        this, "pass", QStringLiteral("ﾊﾟｽﾜｰﾄﾞを変更する場合、以下に変更後のﾊﾟｽﾜｰﾄﾞを入力して下さい。"),
        {QStringLiteral("新しいﾊﾟｽﾜｰﾄﾞ"), edt_usr_new_pass1},
        {QStringLiteral("新しいﾊﾟｽﾜｰﾄﾞ（確認用）"), edt_usr_new_pass2}, sbtn_get_stk_info,
        QStringLiteral("※パスワードは半角英数字にて4文字～10文字です。")));

    edt_usr_new_mail1 = entryField(this, "edt_usr_new_mail1", 50);
    edt_usr_new_mail2 = entryField(this, "edt_usr_new_mail2", 50);
    SpeedButton1 = button(this, "SpeedButton1", QStringLiteral("ﾒｰﾙｱﾄﾞﾚｽの変更"));
    layout->addWidget(changeGroup(
        this, "mail", QStringLiteral("ﾒｰﾙｱﾄﾞﾚｽを変更する場合、以下に変更後のﾒｰﾙｱﾄﾞﾚｽを入力して下さい。"),
        {QStringLiteral("新しいﾒｰﾙｱﾄﾞﾚｽ"), edt_usr_new_mail1},
        {QStringLiteral("新しいﾒｰﾙｱﾄﾞﾚｽ（確認用）"), edt_usr_new_mail2}, SpeedButton1, QString()));

    auto* closeRow = new QHBoxLayout();
    sbtn_usr_close = button(this, "sbtn_usr_close", QStringLiteral("終了"));
    closeRow->addStretch(1);
    closeRow->addWidget(sbtn_usr_close);
    layout->addLayout(closeRow);

    connect(sbtn_get_stk_info, &QToolButton::clicked, this,
            [this] { runAction([this] { sbtn_get_stk_infoClick(); }); });
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { runAction([this] { SpeedButton1Click(); }); });
    connect(sbtn_usr_close, &QToolButton::clicked, this, [this] { sbtn_usr_closeClick(); });

    setFixedSize(sizeHint().expandedTo(QSize(520, 0)));
}

bool Tfrm_user::check_new_password()
{
    const auto bad =
        checkNewPassword(edt_usr_new_pass1->text().toStdString(), edt_usr_new_pass2->text().toStdString());
    if (!bad)
        return true;
    showMessage(texts::kBadNewPassword, MsgKind::Information);
    (*bad == EntryField::First ? edt_usr_new_pass1 : edt_usr_new_pass2)->setFocus();
    return false;
}

bool Tfrm_user::check_new_mail()
{
    const auto bad =
        checkNewMail(edt_usr_new_mail1->text().toStdString(), edt_usr_new_mail2->text().toStdString());
    if (!bad)
        return true;
    showMessage(texts::kBadNewMail, MsgKind::Information);
    (*bad == EntryField::First ? edt_usr_new_mail1 : edt_usr_new_mail2)->setFocus();
    return false;
}

bool Tfrm_user::sendChange(const char* question, const std::string& statement, const char* failedText)
{
    // Only an explicit No stops the change; a box closed without an answer goes on.
    if (showMessage(question, MsgKind::Confirmation, MsgButtons::YesNo) == MsgResult::No)
        return false;
    m_http.Clear();
    m_http.Add("Update");
    m_http.Add(statement);
    const Result<bool> executed = m_http.Execute();
    if (!executed) {
        showError(executed.error());
        return false;
    }
    if (!*executed) {
        // A password change held back after failures from this computer says so after the usual text.
        if (const auto wait =
                throttledLoginWait(m_http.replyHeader("X-Vorteq-Login"), m_http.replyHeader("Retry-After")))
            showMessage(QString::fromUtf8(failedText) + QString::fromUtf8(texts::kBreak) +
                            QString::fromUtf8(texts::kBreak) +
                            QString::fromStdString(throttledLoginMessage(*wait)),
                        MsgKind::Error);
        else
            showMessage(failedText, MsgKind::Error);
        return false;
    }
    return true;
}

void Tfrm_user::sbtn_get_stk_infoClick()
{
    if (!check_new_password())
        return;
    TUSRInfo& user = session().usr_info;
    const std::string newPassword = edt_usr_new_pass1->text().toStdString();
    if (!sendChange(texts::kConfirmPasswordChange,
                    passwordUpdateStatement(newPassword, user.userId, user.password),
                    texts::kPasswordNotChanged))
        return;
    showMessage(texts::kPasswordChanged, MsgKind::Information);
    user.password = newPassword;
    edt_usr_pass->setText(QString::fromStdString(newPassword));
    edt_usr_new_pass1->clear();
    edt_usr_new_pass2->clear();
}

void Tfrm_user::SpeedButton1Click()
{
    if (!check_new_mail())
        return;
    TUSRInfo& user = session().usr_info;
    const std::string newMail = edt_usr_new_mail1->text().toStdString();
    if (!sendChange(texts::kConfirmMailChange, mailUpdateStatement(newMail, user.userId, user.email),
                    texts::kMailNotChanged))
        return;
    showMessage(texts::kMailChanged, MsgKind::Information);
    user.email = newMail;
    edt_usr_mail->setText(QString::fromStdString(newMail));
    edt_usr_new_mail1->clear();
    edt_usr_new_mail2->clear();
}

void Tfrm_user::sbtn_usr_closeClick()
{
    close();
}

} // namespace vorteq
