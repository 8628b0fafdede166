#include "accounts/login_frm.h"

#include "accounts/AccountTexts.h"
#include "accounts/LoginBatch.h"
#include "accounts/LoginPrefs.h"
#include "common/DateText.h"
#include "gateway/THttpStatements.h"
#include "widgets/MessageDialog.h"
#include "workbench/orq_common.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace vorteq {

namespace {

QString registrationUrlSetting = QStringLiteral("https://www.example.com/vorteq/register");

QString utf8(const char* text)
{
    return QString::fromUtf8(text);
}

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

void Tfrm_login::setRegistrationUrl(const QString& url)
{
    registrationUrlSetting = url;
}

Tfrm_login::Tfrm_login(QWidget* parent) : QDialog(parent)
{
    SessionState& s = session();
    s.login_ok = false;
    s.stk_upd_date = formatDate(today());
    if (s.base_dir.empty()) {
        std::error_code ec;
        s.base_dir = std::filesystem::current_path(ec).string();
    }

    setObjectName(QStringLiteral("frm_login"));
    setWindowTitle(utf8(texts::kLoginCaption));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(10);
    layout->addWidget(label(this, "lbl_prompt", utf8(texts::kLoginPrompt)));

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    edt_usr = new QLineEdit(this);
    edt_usr->setObjectName(QStringLiteral("edt_usr"));
    edt_usr->setMaxLength(12);
    edt_usr->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoAutoUppercase);
    edt_pass = new QLineEdit(this);
    edt_pass->setObjectName(QStringLiteral("edt_pass"));
    edt_pass->setMaxLength(10);
    edt_pass->setEchoMode(QLineEdit::Password);
    edt_pass->setAttribute(Qt::WA_InputMethodEnabled, false);
    edt_pass->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    cbx_login = new QComboBox(this);
    cbx_login->setObjectName(QStringLiteral("cbx_login"));
    cbx_login->setEditable(false);
    cbx_login->addItem(QStringLiteral("ユーザーIDとパスワードを保存"));
    cbx_login->addItem(QStringLiteral("ユーザーIDを保存"));
    cbx_login->addItem(QStringLiteral("保存しない"));
    cbx_login->setCurrentIndex(static_cast<int>(LoginSaveChoice::UserIdOnly));

    auto* note = label(this, "lbl_pass_note",
                       QStringLiteral("※デモ環境の初期ユーザーIDは「demo」、パスワードは「demo1234」です。"));
    QFont small = note->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    note->setFont(small);

    grid->addWidget(label(this, "lbl_usr", QStringLiteral("ユーザーID")), 0, 0);
    grid->addWidget(edt_usr, 0, 1);
    grid->addWidget(label(this, "lbl_pass", QStringLiteral("パスワード")), 1, 0);
    grid->addWidget(edt_pass, 1, 1);
    grid->addWidget(note, 2, 1);
    grid->addWidget(label(this, "lbl_login", QStringLiteral("ログイン設定")), 3, 0);
    grid->addWidget(cbx_login, 3, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout();
    btn_ok = new QPushButton(QStringLiteral("ログイン"), this);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setDefault(true);
    btn_ok->setAutoDefault(true);
    btn_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(btn_ok);
    buttons->addWidget(btn_cancel);
    layout->addLayout(buttons);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("bvl_login"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    layout->addWidget(
        label(this, "lbl_info1", QStringLiteral("※VORTEQを利用するにはユーザーＩＤが必要です。")));
    layout->addWidget(label(this, "lbl_info2",
                            QStringLiteral("以下のウェブサイトよりユーザーＩＤの登録を行ってください。")));
    lbl_url = label(this, "lbl_url", registrationUrlSetting);
    lbl_url->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lbl_url);

    connect(btn_ok, &QPushButton::clicked, this, [this] { runAction([this] { btn_okClick(); }); });
    connect(btn_cancel, &QPushButton::clicked, this, [this] { btn_cancelClick(); });

    setFixedSize(sizeHint().expandedTo(QSize(440, 0)));
}

void Tfrm_login::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tfrm_login::keepUserId(const QString& userId)
{
    m_keptUserId = userId;
    edt_usr->setText(userId);
    edt_usr->setReadOnly(!userId.isEmpty());
}

void Tfrm_login::FormShow()
{
    const auto prefs = readLoginPrefs(loginPrefsPath(session().base_dir));
    if (!prefs) {
        showError(prefs.error());
        return;
    }
    if (!*prefs)
        return;
    const LoginPrefs& p = **prefs;
    if (p.choice)
        cbx_login->setCurrentIndex(*p.choice);
    // A remembered password belongs to the remembered user ID only.
    const bool otherUser =
        !m_keptUserId.isEmpty() && p.userId && QString::fromStdString(*p.userId) != m_keptUserId;
    if (p.userId && m_keptUserId.isEmpty())
        edt_usr->setText(QString::fromStdString(*p.userId));
    if (p.password && !otherUser)
        edt_pass->setText(QString::fromStdString(*p.password));
}

void Tfrm_login::btn_okClick()
{
    if (edt_usr->text().isEmpty()) {
        showMessage(texts::kNoUserId, MsgKind::Information);
        edt_usr->setFocus();
        return;
    }
    if (edt_pass->text().isEmpty()) {
        showMessage(texts::kNoPassword, MsgKind::Information);
        edt_pass->setFocus();
        return;
    }

    SessionState& s = session();
    const std::string userId = edt_usr->text().toStdString();
    const std::string password = edt_pass->text().toStdString();
    THttpStatements http(s.server_url);
    http.Add("Query");
    http.Add(loginUserStatement(userId, password));
    http.Add(updateDatesStatement());
    const Result<bool> executed = http.Execute();
    if (!executed) {
        showError(executed.error());
        return;
    }
    if (!*executed) {
        showMessage(texts::kLoginFailed, MsgKind::Error);
        return;
    }
    const auto reply = readLoginReply(http.Item(1), http.Item(2), userId, password);
    if (!reply) {
        // A throttled attempt was not checked at all: saying the password is wrong would mislead.
        if (const auto wait =
                throttledLoginWait(http.replyHeader("X-Vorteq-Login"), http.replyHeader("Retry-After")))
            showMessage(QString::fromStdString(throttledLoginMessage(*wait)), MsgKind::Warning);
        else
            showMessage(texts::kLoginRefused, MsgKind::Warning);
        return;
    }

    s.usr_info = reply->user;
    if (reply->stkUpdDate)
        s.stk_upd_date = *reply->stkUpdDate;
    if (reply->fxUpdDate)
        s.fx_upd_date = *reply->fxUpdDate;
    if (reply->mailUndeliverable())
        showMessage(texts::kMailUndeliverable, MsgKind::Information);
    s.login_ok = true;
    accept();
}

void Tfrm_login::btn_cancelClick()
{
    session().login_ok = false;
    reject();
}

void Tfrm_login::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void Tfrm_login::FormClose()
{
    // The preference is written on every close, with what the fields hold now. A file that cannot be
    // written is reported and skipped, so the window still closes.
    const Status written = writeLoginPrefs(loginPrefsPath(session().base_dir), cbx_login->currentIndex(),
                                           edt_usr->text().toStdString(), edt_pass->text().toStdString());
    if (!written)
        showError(written.error());
}

} // namespace vorteq
