#include "app/run_login.h"

#include "accounts/login_frm.h"
#include "workbench/orq_common.h"

namespace vorteq {

bool run_login(const std::string& serverUrl)
{
    session().server_url = serverUrl;
    Tfrm_login window;
    window.exec();
    return session().login_ok;
}

bool run_relogin(QWidget* parent)
{
    SessionState& s = session();
    const SessionState before = s;
    Tfrm_login window(parent);
    window.keepUserId(QString::fromStdString(before.usr_info.userId));
    window.exec();
    if (!s.login_ok) {
        s = before; // the window reset the login flag and the update date when it was created
        return false;
    }
    return true;
}

} // namespace vorteq
