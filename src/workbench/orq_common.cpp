#include "workbench/orq_common.h"

namespace vorteq {

SessionState& session()
{
    static SessionState state;
    return state;
}

} // namespace vorteq
