#include "accounts/login_frm.h"
#include "app/AppSetup.h"
#include "app/FeaturePanels.h"
#include "app/Screenshots.h"
#include "app/main_frm.h"
#include "app/run_login.h"
#include "gateway/HttpTransport.h"
#include "gateway/ServerUrl.h"
#include "widgets/MessageDialog.h"
#include "workbench/orq_common.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

using namespace vorteq;

namespace {

// A start-up error goes to the terminal as well, for scripts that start the program.
int refuseToStart(const Error& error)
{
    std::fprintf(stderr, "vorteq: %s\n", error.message.c_str());
    showError(error);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VORTEQ"));
    setupApplication();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("VORTEQ: 株式のスクリーニングと売買シミュレーション"));
    parser.addHelpOption();
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        QStringLiteral(
            "接続するサーバー [https://]HOST[:PORT] (既定: 環境変数 VORTEQ_SERVER、なければ localhost:8080)"),
        QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption caFileOption(
        QStringLiteral("ca-file"),
        QStringLiteral("https の証明書の検証に使う CA 証明書 (PEM、既定はシステムの証明書)"),
        QStringLiteral("FILE"));
    const QCommandLineOption baseDirOption(
        QStringLiteral("base-dir"), QStringLiteral("SysData と UsrData を置くフォルダ (既定: 作業フォルダ)"),
        QStringLiteral("DIR"));
    const QCommandLineOption registerUrlOption(
        QStringLiteral("register-url"), QStringLiteral("ログイン画面に表示するユーザー登録のウェブサイト"),
        QStringLiteral("URL"));
    QCommandLineOption screenshotOption(QStringLiteral("screenshot"), QString(), QStringLiteral("DIR"));
    screenshotOption.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption screenshotRunOption(QStringLiteral("screenshot-run"), QString(),
                                           QStringLiteral("CODE,NAME,MARKET,MARKETNAME,yyyy/mm/dd,PERIOD"));
    screenshotRunOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({serverOption, caFileOption, baseDirOption, registerUrlOption, screenshotOption,
                       screenshotRunOption});
    parser.process(app);

    if (parser.isSet(registerUrlOption))
        Tfrm_login::setRegistrationUrl(parser.value(registerUrlOption));
    else if (const char* url = std::getenv("VORTEQ_REGISTER_URL"); url && *url)
        Tfrm_login::setRegistrationUrl(QString::fromLocal8Bit(url));

    if (parser.isSet(screenshotOption) && parser.isSet(screenshotRunOption)) {
        const Result<std::string> url = makeServerUrl(parser.value(serverOption).toStdString());
        if (!url)
            return refuseToStart(url.error());
        return takeRunScreenshots(parser.value(screenshotOption), *url, parser.value(screenshotRunOption));
    }
    if (parser.isSet(screenshotOption))
        return takeScreenshots(parser.value(screenshotOption));

    QString server = QString::fromLatin1(kDefaultServerHost);
    if (parser.isSet(serverOption))
        server = parser.value(serverOption);
    else if (const char* env = std::getenv("VORTEQ_SERVER"); env && *env)
        server = QString::fromLocal8Bit(env);
    const Result<std::string> url = makeServerUrl(server.toStdString());
    if (!url)
        return refuseToStart(url.error());

    if (parser.isSet(caFileOption)) {
        const QFileInfo caFile(parser.value(caFileOption));
        if (!caFile.isFile())
            return refuseToStart(
                makeError(ErrorCode::Validation,
                          "CA 証明書のファイルがありません: " + parser.value(caFileOption).toStdString()));
        setDefaultCaFile(caFile.absoluteFilePath().toStdString());
    }

    if (parser.isSet(baseDirOption)) {
        const QFileInfo dir(parser.value(baseDirOption));
        if (!dir.isDir())
            return refuseToStart(makeError(
                ErrorCode::Validation, "フォルダがありません: " + parser.value(baseDirOption).toStdString()));
        session().base_dir = QDir::cleanPath(dir.absoluteFilePath()).toStdString();
    }

    // Nothing of the main window exists, is written or is sent unless the login succeeds.
    if (!run_login(*url))
        return 0;

    Tfrm_main window;
    installFeaturePanels(window);
    window.show();
    return app.exec();
}
