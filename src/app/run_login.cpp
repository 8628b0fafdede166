#include "app/run_login.h"

#include "accounts/login_frm.h"
#include "app/orq_common.h"

namespace vorteq {

bool run_login(const std::string& serverUrl)
{
    session().server_url = serverUrl;
    Tfrm_login window;
    window.exec();
    return session().login_ok;
}

} // namespace vorteq
