#include "conditions/JoukenValidation.h"
#include "conditions/TJouken.h"
#include "conditions/jouken_editor.h"
#include "widgets/QtText.h"
#include "widgets/msg_common.h"
#include "workbench/Workbench.h"

#include <QScrollArea>
#include <QTabWidget>

// The number check before a simulation, shown on the editor: the failing field's tab in front and the
// field focused.

namespace vorteq {

namespace {

void ensureVisible(QWidget* widget)
{
    for (QWidget* p = widget->parentWidget(); p; p = p->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(p)) {
            area->ensureWidgetVisible(widget);
            return;
        }
    }
}

} // namespace

bool JoukenEditor::ValidateSimInput()
{
    TJouken snapshot;
    editor_to_jouken(snapshot);
    const auto failed = validateJouken(snapshot);
    if (!failed)
        return true;
    showFailure(*failed);
    return false;
}

void JoukenEditor::showTab(std::string_view name)
{
    if (m_window && m_window->pc_stk_sim && m_window->ts_stk_jouken)
        m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_jouken);
    if (QWidget* page = tabPage(name))
        pc_jouken->setCurrentWidget(page);
}

void JoukenEditor::showFailure(const ValidationFailure& failure)
{
    if (failure.tabBeforeMessage)
        showTab(failure.tab);
    msg_show(qs(failure.message));
    if (!failure.tabBeforeMessage)
        showTab(failure.tab);
    if (QWidget* field = control(failure.field)) {
        ensureVisible(field);
        field->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace vorteq
