#include "accounts/LoginBatch.h"
#include "accounts/usr_frm.h"
#include "app/AppSetup.h"
#include "app/ShellTestSupport.h"
#include "gateway/THttpStatements.h"
#include "support/TestServer.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace vorteq;

namespace {

const QString kBadPassword = QStringLiteral("パスワードが正しく入力されていません。");
const QString kBadMail = QStringLiteral("メールアドレスが正しく入力されていません。");

} // namespace

class UserWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void showsTheRegistration();
    void newPasswordChecks_data();
    void newPasswordChecks();
    void newMailChecks_data();
    void newMailChecks();
    void passwordChangeUpdatesServerSessionAndFields();
    void mailChangeUpdatesServerSessionAndFields();
    void answeringNoSendsNothing();
    void closingTheQuestionGoesOn();
    void serverFailureChangesNothing();

private:
    // Adds a user and logs in as it over the real server, as the login window would.
    void loginAs(const std::string& id, const std::string& password, const std::string& mail)
    {
        m_server->addUser(id, password, "試験 利用者", mail);
        THttpStatements http(m_server->url());
        http.Add("Query");
        http.Add(loginUserStatement(id, password));
        http.Add(updateDatesStatement());
        const auto executed = http.Execute();
        QVERIFY(executed && *executed);
        const auto reply = readLoginReply(http.Item(1), http.Item(2), id, password);
        QVERIFY(reply);
        session().usr_info = reply->user;
        session().login_ok = true;
    }
    // Does the server take this password for this user now?
    bool serverAccepts(const std::string& id, const std::string& password)
    {
        const std::string cookie = sessionCookie();
        THttpStatements http(m_server->url());
        http.Add("Query");
        http.Add(loginUserStatement(id, password));
        const auto executed = http.Execute();
        setSessionCookie(cookie);
        return executed && *executed && http.Item(1).RowCount == 1;
    }
    std::string storedMail(const std::string& id)
    {
        const auto rows = m_server->query("SELECT E_MAIL FROM USR_INFO WHERE USR_ID = '" + id + "'");
        return rows.empty() ? std::string() : rows[0][0];
    }
    std::size_t requests() const { return m_server->logLines().size(); }

    std::unique_ptr<test::TestServer> m_server;
    std::unique_ptr<QTemporaryDir> m_base;
    std::unique_ptr<test::ScriptedUi> m_ui;
    std::unique_ptr<THttpStatements> m_http;
    int m_users = 0;
};

void UserWindowTest::initTestCase()
{
    setupApplication();
    m_server = std::make_unique<test::TestServer>();
}

void UserWindowTest::init()
{
    m_base = std::make_unique<QTemporaryDir>();
    m_ui = std::make_unique<test::ScriptedUi>();
    test::resetSession(m_base->path(), m_server->url());
    clearSessionCookie();
    m_http = std::make_unique<THttpStatements>(m_server->url());
    // Every test changes its own user, so that no test depends on another's changes.
    loginAs("user" + std::to_string(++m_users), "pass1234", "user@example.com");
}

void UserWindowTest::cleanup()
{
    m_http.reset();
    m_ui.reset();
    m_base.reset();
}

void UserWindowTest::showsTheRegistration()
{
    Tfrm_user window(*m_http);
    QCOMPARE(window.windowTitle(), QStringLiteral("ユーザー情報"));
    QCOMPARE(window.edt_usr_id->text(), QString::fromStdString(session().usr_info.userId));
    QCOMPARE(window.edt_usr_pass->text(), QStringLiteral("pass1234")); // shown in plain text
    QCOMPARE(window.edt_usr_nm->text(), QStringLiteral("試験 利用者"));
    QCOMPARE(window.edt_usr_mail->text(), QStringLiteral("user@example.com"));
    for (QLineEdit* field : {window.edt_usr_id, window.edt_usr_pass, window.edt_usr_nm, window.edt_usr_mail})
        QVERIFY(field->isReadOnly() && !field->isEnabled());
    QCOMPARE(window.edt_usr_new_pass1->maxLength(), 10);
    QCOMPARE(window.edt_usr_new_pass2->maxLength(), 10);
    QCOMPARE(window.edt_usr_new_mail1->maxLength(), 50);
    QCOMPARE(window.edt_usr_new_mail2->maxLength(), 50);
    QCOMPARE(window.edt_usr_new_pass1->echoMode(), QLineEdit::Normal);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY2(test::squeezedWidgets(window).isEmpty(),
             qPrintable(test::squeezedWidgets(window).join(QStringLiteral("; "))));
    QVERIFY2(test::overlappingSiblings(window).isEmpty(),
             qPrintable(test::overlappingSiblings(window).join(QStringLiteral("; "))));
    QVERIFY2(test::unnamedControls(window).isEmpty(),
             qPrintable(test::unnamedControls(window).join(QStringLiteral("; "))));
    window.sbtn_usr_close->click();
    QVERIFY(!window.isVisible());
}

void UserWindowTest::newPasswordChecks_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    // The window maps each refusal to its field; every rule itself is checked without the window.
    QTest::addColumn<QString>("focus"); // empty: the check passes
    QTest::newRow("both empty") << QString() << QString() << QStringLiteral("edt_usr_new_pass1");
    QTest::newRow("repetition empty")
        << QStringLiteral("abcd") << QString() << QStringLiteral("edt_usr_new_pass2");
    QTest::newRow("three characters")
        << QStringLiteral("abc") << QStringLiteral("abc") << QStringLiteral("edt_usr_new_pass1");
    QTest::newRow("symbol") << QStringLiteral("ab-d") << QStringLiteral("ab-d")
                            << QStringLiteral("edt_usr_new_pass1");
    QTest::newRow("four letters") << QStringLiteral("abcd") << QStringLiteral("abcd") << QString();
}

void UserWindowTest::newPasswordChecks()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, focus);
    Tfrm_user window(*m_http);
    window.edt_usr_new_pass1->setText(first);
    window.edt_usr_new_pass2->setText(second);
    const bool accepted = window.check_new_password();
    QCOMPARE(accepted, focus.isEmpty());
    if (!accepted) {
        QCOMPARE(m_ui->messages->last().text, kBadPassword);
        QVERIFY(m_ui->messages->last().kind == MsgKind::Information);
        QCOMPARE(window.focusWidget()->objectName(), focus);

        // Pressing the button with the same entries sends nothing.
        const std::size_t before = requests();
        window.sbtn_get_stk_info->click();
        QCOMPARE(requests(), before);
        QCOMPARE(m_ui->messages->pendingAnswers(), 0);
        QCOMPARE(m_ui->messages->unanswered(), 0); // no question was asked
    } else {
        QVERIFY(m_ui->messages->shown().empty());
    }
}

void UserWindowTest::newMailChecks_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("focus");
    QTest::newRow("both empty") << QString() << QString() << QStringLiteral("edt_usr_new_mail1");
    QTest::newRow("repetition empty")
        << QStringLiteral("a@b.jp") << QString() << QStringLiteral("edt_usr_new_mail2");
    QTest::newRow("two @") << QStringLiteral("a@b@c.jp") << QStringLiteral("a@b@c.jp")
                           << QStringLiteral("edt_usr_new_mail1");
    QTest::newRow("- . _ anywhere") << QStringLiteral("-a.b_@c-d.jp_") << QStringLiteral("-a.b_@c-d.jp_")
                                    << QString();
}

void UserWindowTest::newMailChecks()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, focus);
    Tfrm_user window(*m_http);
    window.edt_usr_new_mail1->setText(first);
    window.edt_usr_new_mail2->setText(second);
    const bool accepted = window.check_new_mail();
    QCOMPARE(accepted, focus.isEmpty());
    if (!accepted) {
        QCOMPARE(m_ui->messages->last().text, kBadMail);
        QVERIFY(m_ui->messages->last().kind == MsgKind::Information);
        QCOMPARE(window.focusWidget()->objectName(), focus);
        const std::size_t before = requests();
        window.SpeedButton1->click();
        QCOMPARE(requests(), before);
    }
}

void UserWindowTest::passwordChangeUpdatesServerSessionAndFields()
{
    const std::string id = session().usr_info.userId;
    Tfrm_user window(*m_http);
    window.edt_usr_new_pass1->setText(QStringLiteral("newPass9"));
    window.edt_usr_new_pass2->setText(QStringLiteral("newPass9"));
    m_ui->messages->answer(MsgResult::Yes);
    window.sbtn_get_stk_info->click();

    const auto& shown = m_ui->messages->shown();
    QCOMPARE(shown.size(), std::size_t{2});
    QCOMPARE(shown[0].text, QStringLiteral("パスワードを変更します。よろしいですか？"));
    QVERIFY(shown[0].kind == MsgKind::Confirmation && shown[0].buttons == MsgButtons::YesNo);
    QCOMPARE(shown[1].text, QStringLiteral("パスワードは正常に更新されました。\n\r\n\r"
                                           "次回ログインから変更後のパスワードが有効になります。"));
    QVERIFY(shown[1].kind == MsgKind::Information);

    QCOMPARE(session().usr_info.password, std::string("newPass9"));
    QCOMPARE(window.edt_usr_pass->text(), QStringLiteral("newPass9"));
    QVERIFY(window.edt_usr_new_pass1->text().isEmpty());
    QVERIFY(window.edt_usr_new_pass2->text().isEmpty());
    QVERIFY(serverAccepts(id, "newPass9"));
    QVERIFY(!serverAccepts(id, "pass1234"));

    Tfrm_user reopened(*m_http);
    QCOMPARE(reopened.edt_usr_pass->text(), QStringLiteral("newPass9"));
}

void UserWindowTest::mailChangeUpdatesServerSessionAndFields()
{
    const std::string id = session().usr_info.userId;
    session().usr_info.mailStatus = "1";
    Tfrm_user window(*m_http);
    window.edt_usr_new_mail1->setText(QStringLiteral("new.mail_1@example-2.jp"));
    window.edt_usr_new_mail2->setText(QStringLiteral("new.mail_1@example-2.jp"));
    m_ui->messages->answer(MsgResult::Yes);
    window.SpeedButton1->click();

    QCOMPARE(m_ui->messages->shown().front().text,
             QStringLiteral("メールアドレスを変更します。よろしいですか？"));
    QCOMPARE(m_ui->messages->last().text,
             QStringLiteral("メールアドレスは正常に更新されました。\n\r\n\r"
                            "今後、当社からの連絡は変更後のメールアドレスにさせて頂きます。"));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Information);
    QCOMPARE(session().usr_info.email, std::string("new.mail_1@example-2.jp"));
    QCOMPARE(session().usr_info.mailStatus, std::string("1")); // the change does not touch the mail status
    QCOMPARE(window.edt_usr_mail->text(), QStringLiteral("new.mail_1@example-2.jp"));
    QVERIFY(window.edt_usr_new_mail1->text().isEmpty());
    QVERIFY(window.edt_usr_new_mail2->text().isEmpty());
    QCOMPARE(storedMail(id), std::string("new.mail_1@example-2.jp"));
}

void UserWindowTest::answeringNoSendsNothing()
{
    Tfrm_user window(*m_http);
    window.edt_usr_new_pass1->setText(QStringLiteral("abcd1234"));
    window.edt_usr_new_pass2->setText(QStringLiteral("abcd1234"));
    const std::size_t before = requests();
    m_ui->messages->answer(MsgResult::No);
    window.sbtn_get_stk_info->click();
    QCOMPARE(requests(), before);
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
    QCOMPARE(session().usr_info.password, std::string("pass1234"));
    QCOMPARE(window.edt_usr_new_pass1->text(), QStringLiteral("abcd1234"));
}

void UserWindowTest::closingTheQuestionGoesOn()
{
    const std::string id = session().usr_info.userId;
    Tfrm_user window(*m_http);
    window.edt_usr_new_mail1->setText(QStringLiteral("closed@example.com"));
    window.edt_usr_new_mail2->setText(QStringLiteral("closed@example.com"));
    m_ui->messages->answer(MsgResult::Dismissed);
    window.SpeedButton1->click();
    QCOMPARE(session().usr_info.email, std::string("closed@example.com"));
    QCOMPARE(storedMail(id), std::string("closed@example.com"));
}

void UserWindowTest::serverFailureChangesNothing()
{
    const std::string id = session().usr_info.userId;
    // Without its session the server refuses every change with its failure marker, marked as a
    // session that ended: the user is told to log in again (the main window, which offers the login,
    // is not there), and nothing changes.
    clearSessionCookie();
    Tfrm_user window(*m_http);
    window.edt_usr_new_pass1->setText(QStringLiteral("abcd1234"));
    window.edt_usr_new_pass2->setText(QStringLiteral("abcd1234"));
    m_ui->messages->answer(MsgResult::Yes);
    window.sbtn_get_stk_info->click();
    QCOMPARE(m_ui->messages->last().text, QString::fromUtf8(kSessionExpiredMessage));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Error);
    QCOMPARE(session().usr_info.password, std::string("pass1234"));
    QCOMPARE(window.edt_usr_pass->text(), QStringLiteral("pass1234"));
    QCOMPARE(window.edt_usr_new_pass1->text(), QStringLiteral("abcd1234"));

    window.edt_usr_new_mail1->setText(QStringLiteral("x@example.com"));
    window.edt_usr_new_mail2->setText(QStringLiteral("x@example.com"));
    m_ui->messages->answer(MsgResult::Yes);
    window.SpeedButton1->click();
    QCOMPARE(m_ui->messages->last().text, QString::fromUtf8(kSessionExpiredMessage));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Error);
    QCOMPARE(session().usr_info.email, std::string("user@example.com"));
    QCOMPARE(window.edt_usr_mail->text(), QStringLiteral("user@example.com"));
    QCOMPARE(storedMail(id), std::string("user@example.com"));
    QVERIFY(serverAccepts(id, "pass1234"));
}

QTEST_MAIN(UserWindowTest)
#include "UserWindowTest.moc"
