#include "accounts/login_frm.h"
#include "app/AppSetup.h"
#include "app/ShellTestSupport.h"
#include "app/main_frm.h"
#include "app/run_login.h"
#include "gateway/THttpStatements.h"
#include "support/TestServer.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace vorteq;

namespace {

// The refusal, line by line as the users have always read it; LF CR between lines.
const QString kRefusal = QStringLiteral("VORTEQにログイン出来ませんでした。\n\r\n\r"
                                        "ログイン出来なかった原因としては以下のことが考えられます\n\r\n\r"
                                        "①ユーザーID、またはパスワードが間違っている\n\r\n\r"
                                        "問題が解決されない場合は、当社ウェブサイトよりお問い合わせ下さい。");

} // namespace

class LoginWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void showsItsControlsUncut();
    void emptyUserIdIsAskedForAndNothingIsSent();
    void emptyPasswordIsAskedForAndNothingIsSent();
    void wrongPasswordIsRefusedAndMayBeRetried();
    void blockedAccountIsRefused();
    void throttledLoginSaysSoAndNamesTheWait();
    void successFillsTheSessionAndTheMainWindowLabels();
    void hourglassShowsWhileTheServerAnswers();
    void undeliverableMailIsNoticedAndLoginGoesOn();
    void singleUpdateDateLeavesTheExchangeDateEmpty();
    void serverFailureKeepsTheWindowOpen();
    void unreachableServerIsReportedAndTheWindowStays();
    void passwordWithQuotesIsSentAsOneValue();
    void preferenceFileFollowsTheChoice_data();
    void preferenceFileFollowsTheChoice();
    void cancelStillRemembersTheUserId();
    void preferenceFileFillsTheFields();
    void startupWithoutLoginWritesAndSendsNothingElse();
    void startupLoginSucceeds();

private:
    Tfrm_login& newWindow()
    {
        m_window = std::make_unique<Tfrm_login>();
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            qWarning("login window not exposed");
        return *m_window;
    }
    // Types the credentials and presses "ログイン".
    void login(Tfrm_login& window, const QString& userId, const QString& password)
    {
        window.edt_usr->setText(userId);
        window.edt_pass->setText(password);
        window.btn_ok->click();
    }
    QString prefsPath() const { return m_base->filePath(QStringLiteral("SysData/vorteq.ini")); }
    std::size_t requests() const { return m_server->logLines().size(); }

    std::unique_ptr<test::TestServer> m_server;
    std::unique_ptr<QTemporaryDir> m_base;
    std::unique_ptr<test::ScriptedUi> m_ui;
    std::unique_ptr<Tfrm_login> m_window;
};

void LoginWindowTest::initTestCase()
{
    setupApplication();
    test::TestServerOptions options;
    options.throttle.freePerPair = 1000; // refusals in a row must not be throttled here
    options.throttle.freePerAddress = 1000;
    m_server = std::make_unique<test::TestServer>(options);
    m_server->addUser("demo", "demo1234", "デモ ユーザー", "demo@example.com");
    m_server->addUser("bounce", "pass1234", "配信 不可", "old@example.com", false, "1");
    m_server->addUser("blocked", "pass1234", "停止 中", "stop@example.com", true);
    m_server->addUser("quote", "it's'ok", "引用 符", "q@example.com");
    m_server->execSql("INSERT INTO STK_UPD (UPD_FLG, UPD_DATE) VALUES (1, '2006/05/15'), (2, '2006/05/12')");
}

void LoginWindowTest::init()
{
    m_base = std::make_unique<QTemporaryDir>();
    QVERIFY(m_base->isValid());
    m_ui = std::make_unique<test::ScriptedUi>();
    test::resetSession(m_base->path(), m_server->url());
    clearSessionCookie();
}

void LoginWindowTest::cleanup()
{
    m_window.reset();
    m_ui.reset();
    m_base.reset();
}

void LoginWindowTest::showsItsControlsUncut()
{
    Tfrm_login& window = newWindow();
    QCOMPARE(window.windowTitle(), QStringLiteral("VORTEQ ログイン画面"));
    QCOMPARE(window.edt_usr->maxLength(), 12);
    QCOMPARE(window.edt_pass->maxLength(), 10);
    QCOMPARE(window.edt_pass->echoMode(), QLineEdit::Password);
    const QStringList choices{QStringLiteral("ユーザーIDとパスワードを保存"),
                              QStringLiteral("ユーザーIDを保存"), QStringLiteral("保存しない")};
    for (int i = 0; i < choices.size(); ++i)
        QCOMPARE(window.cbx_login->itemText(i), choices.at(i));
    QVERIFY(window.btn_ok->isDefault());
    QVERIFY(window.findChild<QLabel*>(QStringLiteral("lbl_pass_note"))
                ->text()
                .contains(QStringLiteral("demo1234")));
    QVERIFY2(test::squeezedWidgets(window).isEmpty(),
             qPrintable(test::squeezedWidgets(window).join(QStringLiteral("; "))));
    QVERIFY2(test::overlappingSiblings(window).isEmpty(),
             qPrintable(test::overlappingSiblings(window).join(QStringLiteral("; "))));
    QVERIFY2(test::unnamedControls(window).isEmpty(),
             qPrintable(test::unnamedControls(window).join(QStringLiteral("; "))));

    // Escape is the cancel button: the window closes and the login stays undone.
    QTest::keyClick(window.edt_usr, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    QVERIFY(!session().login_ok);
}

void LoginWindowTest::emptyUserIdIsAskedForAndNothingIsSent()
{
    Tfrm_login& window = newWindow();
    const std::size_t before = requests();
    login(window, QString(), QStringLiteral("demo1234"));
    QCOMPARE(m_ui->messages->last().text, QStringLiteral("ユーザーIDが入力されていません。"));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Information);
    QVERIFY(m_ui->messages->last().buttons == MsgButtons::Ok);
    QCOMPARE(window.focusWidget(), window.edt_usr);
    QVERIFY(window.isVisible());
    QCOMPARE(requests(), before);
}

void LoginWindowTest::emptyPasswordIsAskedForAndNothingIsSent()
{
    Tfrm_login& window = newWindow();
    const std::size_t before = requests();
    login(window, QStringLiteral("demo"), QString());
    QCOMPARE(m_ui->messages->last().text, QStringLiteral("パスワードが入力されていません。"));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Information);
    QCOMPARE(window.focusWidget(), window.edt_pass);
    QVERIFY(window.isVisible());
    QCOMPARE(requests(), before);
    QVERIFY(!session().login_ok);
}

void LoginWindowTest::wrongPasswordIsRefusedAndMayBeRetried()
{
    Tfrm_login& window = newWindow();
    for (int attempt = 0; attempt < 3; ++attempt) {
        login(window, QStringLiteral("demo"), QStringLiteral("wrong%1").arg(attempt));
        QCOMPARE(m_ui->messages->last().text, kRefusal);
        QVERIFY(m_ui->messages->last().kind == MsgKind::Warning);
        QVERIFY(window.isVisible());
        QVERIFY(!session().login_ok);
    }
    login(window, QStringLiteral("nobody"), QStringLiteral("demo1234"));
    QCOMPARE(m_ui->messages->last().text, kRefusal);

    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    QVERIFY(session().login_ok);
    QCOMPARE(window.result(), int(QDialog::Accepted));
}

void LoginWindowTest::blockedAccountIsRefused()
{
    Tfrm_login& window = newWindow();
    login(window, QStringLiteral("blocked"), QStringLiteral("pass1234"));
    QCOMPARE(m_ui->messages->last().text, kRefusal);
    QVERIFY(!session().login_ok);
    QVERIFY(session().usr_info.userId.empty());
}

void LoginWindowTest::throttledLoginSaysSoAndNamesTheWait()
{
    // This computer failed often enough for the server to hold its attempts back for 90 seconds.
    m_server->execSql("INSERT INTO LOGIN_THROTTLE (CLIENT_ADDR, USR_ID, FAIL_COUNT, LAST_FAIL, WAIT_UNTIL) "
                      "VALUES ('127.0.0.1', 'demo', 9, strftime('%s', 'now'), strftime('%s', 'now') + 90)");
    Tfrm_login& window = newWindow();
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    QCOMPARE(m_ui->messages->last().text,
             QStringLiteral(
                 "ログインの失敗が続いたため、このコンピューターからのログインを一時的に受け付けていません。"
                 "\n\r\n\r約2分後に、もう一度お試しください。"));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Warning);
    QVERIFY(window.isVisible());
    QVERIFY(!session().login_ok);
    // Another user ID from this computer gets the ordinary answer.
    login(window, QStringLiteral("bounce"), QStringLiteral("wrong"));
    QCOMPARE(m_ui->messages->last().text, kRefusal);
    m_server->execSql("DELETE FROM LOGIN_THROTTLE");
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    QVERIFY(session().login_ok);
}

void LoginWindowTest::successFillsTheSessionAndTheMainWindowLabels()
{
    Tfrm_login& window = newWindow();
    QCOMPARE(QString::fromStdString(session().stk_upd_date),
             QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")));
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));

    QVERIFY(m_ui->messages->shown().empty());
    QVERIFY(session().login_ok);
    QVERIFY(!window.isVisible());
    const TUSRInfo& user = session().usr_info;
    QCOMPARE(user.userId, std::string("demo"));
    QCOMPARE(user.password, std::string("demo1234"));
    QCOMPARE(user.userName, std::string("デモ ユーザー"));
    QCOMPARE(user.email, std::string("demo@example.com"));
    QCOMPARE(user.mailStatus, std::string("0"));
    QCOMPARE(session().stk_upd_date, std::string("2006/05/15"));
    QCOMPARE(session().fx_upd_date, std::string("2006/05/12"));
    QVERIFY(!sessionCookie().empty()); // later requests of the main window go out with it

    Tfrm_main main;
    QCOMPARE(main.lbl_stk_date->text(), QStringLiteral("株価更新日 2006/05/15"));
    QCOMPARE(main.lbl_fx_date->text(), QStringLiteral("為替更新日 2006/05/12"));
}

void LoginWindowTest::hourglassShowsWhileTheServerAnswers()
{
    Tfrm_login& window = newWindow();
    int hourglasses = 0;
    // The timer fires while the request is under way: the cursor is prepared before the exchange starts.
    const auto watch = [&] {
        QTimer::singleShot(0, [&] {
            const QCursor* cursor = QApplication::overrideCursor();
            hourglasses += (cursor && cursor->shape() == Qt::WaitCursor) ? 1 : 0;
        });
    };
    watch();
    login(window, QStringLiteral("demo"), QStringLiteral("wrong"));
    watch();
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    QCOMPARE(hourglasses, 2);
    QVERIFY(!QApplication::overrideCursor()); // restored after a refusal and after a success
}

void LoginWindowTest::undeliverableMailIsNoticedAndLoginGoesOn()
{
    Tfrm_login& window = newWindow();
    login(window, QStringLiteral("bounce"), QStringLiteral("pass1234"));
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
    QCOMPARE(
        m_ui->messages->last().text,
        QStringLiteral("登録されているメールアドレスへの連絡が出来なくなっている可能性があります。\n\r\n\r"
                       "ユーザー情報よりメールアドレスが正しく登録されているかご確認ください。"));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Information);
    QVERIFY(session().login_ok);
    QCOMPARE(session().usr_info.mailStatus, std::string("1"));
}

void LoginWindowTest::singleUpdateDateLeavesTheExchangeDateEmpty()
{
    m_server->execSql("DELETE FROM STK_UPD WHERE UPD_FLG = 2");
    Tfrm_login& window = newWindow();
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    m_server->execSql("INSERT INTO STK_UPD (UPD_FLG, UPD_DATE) VALUES (2, '2006/05/12')");
    QVERIFY(session().login_ok);
    QCOMPARE(session().stk_upd_date, std::string("2006/05/15"));
    QVERIFY(session().fx_upd_date.empty());
}

void LoginWindowTest::serverFailureKeepsTheWindowOpen()
{
    // A server whose update dates cannot be read answers the batch with its failure marker.
    test::TestServer broken;
    broken.addUser("demo", "demo1234", "デモ ユーザー", "demo@example.com");
    broken.execSql("DROP TABLE STK_UPD");
    session().server_url = broken.url();

    Tfrm_login& window = newWindow();
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    QCOMPARE(m_ui->messages->last().text, QStringLiteral("ログインに失敗しました。"));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Error);
    QVERIFY(window.isVisible());
    QVERIFY(!session().login_ok);
    QVERIFY(session().usr_info.userId.empty());
}

void LoginWindowTest::unreachableServerIsReportedAndTheWindowStays()
{
    unsigned short closedPort = 0;
    {
        test::TestServer gone;
        closedPort = gone.port();
    }
    session().server_url = "http://127.0.0.1:" + std::to_string(closedPort) + "/ORQ/servlet/ApsServlet/";
    Tfrm_login& window = newWindow();
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    QVERIFY(m_ui->messages->last().kind == MsgKind::Error);
    QVERIFY(m_ui->messages->last().text.contains(QString::number(closedPort)));
    QVERIFY(window.isVisible());
    QVERIFY(!session().login_ok);

    // The window stays usable: the next try against a live server logs in.
    session().server_url = m_server->url();
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    QVERIFY(session().login_ok);
}

void LoginWindowTest::passwordWithQuotesIsSentAsOneValue()
{
    Tfrm_login& window = newWindow();
    // A quote closing the literal early must not turn into SQL: the attempt is a wrong password.
    login(window, QStringLiteral("demo"), QStringLiteral("' OR '1'='1"));
    QCOMPARE(m_ui->messages->last().text, kRefusal);
    QVERIFY(!session().login_ok);

    login(window, QStringLiteral("quote"), QStringLiteral("it's'ok"));
    QVERIFY(session().login_ok);
    QCOMPARE(session().usr_info.password, std::string("it's'ok"));
}

void LoginWindowTest::preferenceFileFollowsTheChoice_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("user ID and password") << 0 << QByteArray("0\r\ndemo\r\ndemo1234\r\n");
    QTest::newRow("user ID only") << 1 << QByteArray("1\r\ndemo\r\n");
    QTest::newRow("nothing") << 2 << QByteArray("2\r\n");
}

void LoginWindowTest::preferenceFileFollowsTheChoice()
{
    QFETCH(int, choice);
    QFETCH(QByteArray, file);
    Tfrm_login& window = newWindow();
    window.cbx_login->setCurrentIndex(choice);
    login(window, QStringLiteral("demo"), QStringLiteral("demo1234"));
    QVERIFY(session().login_ok);
    QCOMPARE(test::fileBytes(prefsPath()), file);
    QCOMPARE(QFileInfo(prefsPath()).permissions() &
                 (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
}

void LoginWindowTest::cancelStillRemembersTheUserId()
{
    Tfrm_login& window = newWindow();
    QCOMPARE(window.cbx_login->currentIndex(), 1);
    window.edt_usr->setText(QStringLiteral("someone"));
    window.edt_pass->setText(QStringLiteral("secret"));
    const std::size_t before = requests();
    window.btn_cancel->click();
    QVERIFY(!window.isVisible());
    QVERIFY(!session().login_ok);
    QCOMPARE(test::fileBytes(prefsPath()), QByteArray("1\r\nsomeone\r\n"));
    QCOMPARE(requests(), before);

    // The title bar's close writes as well.
    Tfrm_login& again = newWindow();
    QCOMPARE(again.edt_usr->text(), QStringLiteral("someone"));
    again.cbx_login->setCurrentIndex(2);
    again.close();
    QCOMPARE(test::fileBytes(prefsPath()), QByteArray("2\r\n"));
}

void LoginWindowTest::preferenceFileFillsTheFields()
{
    {
        Tfrm_login& window = newWindow(); // no file yet
        QCOMPARE(window.cbx_login->currentIndex(), 1);
        QVERIFY(window.edt_usr->text().isEmpty());
        QVERIFY(window.edt_pass->text().isEmpty());
    }
    QVERIFY(QDir(m_base->path()).mkpath(QStringLiteral("SysData")));
    QVERIFY(test::writeFileBytes(prefsPath(), "0\r\ndemo\r\n"));
    {
        Tfrm_login& window = newWindow();
        QCOMPARE(window.cbx_login->currentIndex(), 0);
        QCOMPARE(window.edt_usr->text(), QStringLiteral("demo"));
        QVERIFY(window.edt_pass->text().isEmpty());
    }
    QVERIFY(test::writeFileBytes(prefsPath(), "0\r\ndemo\r\ndemo1234\r\n"));
    {
        Tfrm_login& window = newWindow();
        QCOMPARE(window.edt_pass->text(), QStringLiteral("demo1234"));
        window.btn_ok->click(); // the remembered credentials log in as they stand
        QVERIFY(session().login_ok);
    }
    // A damaged first line falls back to "ユーザーIDを保存": the next close keeps no password.
    QVERIFY(test::writeFileBytes(prefsPath(), "x\r\nsomeone\r\npw\r\n"));
    {
        Tfrm_login& window = newWindow();
        QCOMPARE(window.cbx_login->currentIndex(), 1);
        QCOMPARE(window.edt_usr->text(), QStringLiteral("someone"));
        QVERIFY(window.edt_pass->text().isEmpty());
        QVERIFY(m_ui->messages->shown().empty());
        window.edt_pass->setText(QStringLiteral("typed"));
        window.btn_cancel->click();
    }
    QCOMPARE(test::fileBytes(prefsPath()), QByteArray("1\r\nsomeone\r\n"));
}

void LoginWindowTest::startupWithoutLoginWritesAndSendsNothingElse()
{
    const std::size_t before = requests();
    QTimer::singleShot(0, [] {
        auto* window = qobject_cast<Tfrm_login*>(QApplication::activeModalWidget());
        QVERIFY(window);
        window->edt_usr->setText(QStringLiteral("demo"));
        window->btn_cancel->click();
    });
    QVERIFY(!run_login(m_server->url()));
    QCOMPARE(session().server_url, m_server->url());
    QCOMPARE(requests(), before);
    // Only the login preference was written: nothing of the main window.
    const QStringList written = QDir(m_base->filePath(QStringLiteral("SysData"))).entryList(QDir::Files);
    QCOMPARE(written, QStringList{QStringLiteral("vorteq.ini")});
}

void LoginWindowTest::startupLoginSucceeds()
{
    QTimer::singleShot(0, [] {
        auto* window = qobject_cast<Tfrm_login*>(QApplication::activeModalWidget());
        QVERIFY(window);
        window->edt_usr->setText(QStringLiteral("demo"));
        window->edt_pass->setText(QStringLiteral("demo1234"));
        window->btn_ok->click();
    });
    QVERIFY(run_login(m_server->url()));
    QCOMPARE(session().usr_info.userName, std::string("デモ ユーザー"));
}

QTEST_MAIN(LoginWindowTest)
#include "LoginWindowTest.moc"
