#include "app/Screenshots.h"

#include "accounts/login_frm.h"
#include "accounts/usr_frm.h"
#include "app/FeaturePanels.h"
#include "app/main_frm.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "widgets/MessageDialog.h"
#include "workbench/orq_common.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace vorteq {

namespace {

bool save(QWidget& widget, const QDir& dir, const QString& name)
{
    QApplication::processEvents();
    const QString path = dir.filePath(name);
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
        return false;
    }
    std::printf("%s\n", path.toLocal8Bit().constData());
    return true;
}

} // namespace

bool saveScreenshot(QWidget& widget, const QDir& dir, const QString& name)
{
    return save(widget, dir, name);
}

int takeScreenshots(const QString& folder)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", folder.toLocal8Bit().constData());
        return 1;
    }
    // The settings files of the windows go to the screenshot folder, never to the user's own.
    SessionState& s = session();
    s.base_dir = QDir(dir.absoluteFilePath(QStringLiteral("base"))).absolutePath().toStdString();
    auto previousDialog = setMessageDialog(std::make_shared<ScriptedMessageDialog>());

    bool ok = true;
    {
        Tfrm_login login;
        login.show();
        ok = save(login, dir, QStringLiteral("login.png")) && ok;
        login.hide();
    }

    s.usr_info = TUSRInfo{"デモ ユーザー", "demo", "demo1234", "demo@example.com", "0"};
    s.stk_upd_date = "2006/05/15";
    s.fx_upd_date = "2006/05/12";
    s.login_ok = true;
    {
        Tfrm_main window;
        installFeaturePanels(window);
        window.show();
        ok = save(window, dir, QStringLiteral("main.png")) && ok;
        if (JoukenEditor* editor = JoukenEditor::of(window)) {
            const QString tabs[] = {QStringLiteral("jouken_common.png"), QStringLiteral("jouken_buy.png"),
                                    QStringLiteral("jouken_sell.png"), QStringLiteral("jouken_calc.png")};
            for (int i = 0; i < 4; ++i) {
                editor->pc_jouken->setCurrentIndex(i);
                ok = save(window, dir, tabs[i]) && ok;
            }
            editor->pc_jouken->setCurrentIndex(0);
        }
        window.stbn_stk_sizeClick();
        ok = save(window, dir, QStringLiteral("main_search_wide.png")) && ok;
        window.stbn_stk_sizeClick();
        window.sbtn_sim_sizeClick();
        ok = save(window, dir, QStringLiteral("main_sim_wide.png")) && ok;
        window.sbtn_sim_sizeClick();

        Tfrm_user user(window.http_statements());
        user.show();
        ok = save(user, dir, QStringLiteral("user.png")) && ok;
        user.hide();
        window.hide();
    }
    setMessageDialog(previousDialog);
    return ok ? 0 : 1;
}

} // namespace vorteq
