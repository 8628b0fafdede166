#include "conditions/ConditionFiles.h"
#include "conditions/JoukenValidation.h"
#include "conditions/jouken_editor.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/msg_common.h"
#include "workbench/Workbench.h"
#include "workbench/common_unit.h"
#include "workbench/orq_common.h"

#include <QLineEdit>

// The selected stock's condition set: registering, deleting and loading it, and its state in the
// simulation bar's field "売買条件".

namespace vorteq {

namespace {

const QString kRegistered = QStringLiteral("登録済");
const QString kUnregistered = QStringLiteral("未登録");
const QString kSaved = QStringLiteral("設定済");
const QString kRemoved = QStringLiteral("未設定");

} // namespace

void JoukenEditor::setStatus(const QString& status)
{
    if (m_window && m_window->edt_sim_cdt)
        m_window->edt_sim_cdt->setText(status);
}

void JoukenEditor::sbtn_jouken_addClick()
{
    const TStkList& stock = work().stk_list;
    if (stock.stkCd.empty())
        return;
    if (!msg_confirm_register())
        return;
    editor_to_jouken(jouken);
    if (const auto unstorable = findUnstorableValue(jouken)) {
        showFailure(*unstorable);
        return;
    }
    const Status saved =
        registerConditionSet(session().base_dir, ConditionSetId{stock.stkCd, stock.mktCd}, jouken);
    if (!saved) {
        showError(saved.error());
        return;
    }
    msg_registered();
    setStatus(kSaved);
}

void JoukenEditor::sbtn_jouken_delClick()
{
    const TStkList& stock = work().stk_list;
    if (stock.stkCd.empty())
        return;
    // The question comes before the program knows whether there is a set.
    if (!msg_confirm_delete())
        return;
    const auto outcome = deleteConditionSet(session().base_dir, ConditionSetId{stock.stkCd, stock.mktCd});
    if (!outcome) {
        showError(outcome.error());
        return;
    }
    if (*outcome == DeleteOutcome::NotRegistered) {
        msg_show(QStringLiteral("売買条件が登録されていません。"));
        return;
    }
    msg_deleted();
    setStatus(kRemoved);
}

void JoukenEditor::sg_stk_cdClick(const TStkList& row)
{
    if (m_window && m_window->hooks().resetResultViews)
        m_window->hooks().resetResultViews();
    if (row.stkCd.empty())
        return;
    WorkState& shared = work();
    shared.stk_list = row;

    QString status = kUnregistered;
    std::vector<int> outOfRange;
    std::vector<int> skipped;
    const ConditionSetId id{row.stkCd, row.mktCd};
    // A code that cannot name a file has no set; registering it says why.
    if (checkConditionSetId(id)) {
        const auto loaded = readConditionSet(session().base_dir, id);
        if (!loaded) {
            // A set exists but cannot be read: claim neither state, and say why.
            status.clear();
            showError(loaded.error());
        } else if (*loaded) {
            skipped = (*loaded)->skippedLines;
            shared.stk_tbl = (*loaded)->table;
            shared.stk_tbl_rows = (*loaded)->rows;
            shared.stk_tbl_cols = 2;
            jouken_read_tbl(*shared.stk_tbl, shared.stk_tbl_rows, jouken);
            outOfRange = jouken_to_editor(jouken);
            status = kRegistered;
        }
    }

    if (m_window) {
        m_window->edt_sim_stk->setText(QString::fromStdString(row.stkNm));
        m_window->edt_sim_mkt->setText(QString::fromStdString(row.mktNm));
        m_window->edt_sim_cdt->setText(status);
        m_window->edt_sim_pst->setText(QStringLiteral("N/A"));
    }

    if (!skipped.empty())
        showMessage(qs(skippedLinesMessage(skipped, conditionFilePath(session().base_dir, id))),
                    MsgKind::Warning);
    if (!outOfRange.empty()) {
        QString keys;
        for (int no : outOfRange) {
            if (!keys.isEmpty())
                keys += QStringLiteral(", ");
            keys += qs(kJoukenFields[no].key);
        }
        showMessage(
            QStringLiteral("売買条件ファイルに選択肢にない値がありました。次の項目は最初の選択肢を表示して"
                           "います: ") +
                keys,
            MsgKind::Warning);
    }
}

} // namespace vorteq
