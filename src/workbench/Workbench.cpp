#include "workbench/Workbench.h"

#include "widgets/MessageDialog.h"
#include "workbench/common_unit.h"

#include <QLineEdit>

namespace vorteq {

void Workbench::notifyStockRowSelected(const TStkList& row)
{
    for (const auto& handler : m_hooks.stockSelected)
        runAction([&] { handler(row); });
}

void Workbench::clearSelectedStock()
{
    work().stk_list = TStkList{};
    for (QLineEdit* field : {edt_sim_stk, edt_sim_mkt, edt_sim_cdt, edt_sim_pst})
        if (field)
            field->clear();
}

} // namespace vorteq
