#include "workbench/common_unit.h"

namespace vorteq {

WorkState& work()
{
    static WorkState state;
    return state;
}

} // namespace vorteq
