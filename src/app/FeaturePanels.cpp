#include "app/FeaturePanels.h"

#include "app/main_frm.h"
#include "conditions/jouken_editor.h"
#include "results/SimulationRun.h"
#include "results/batch_frm.h"
#include "results/forward_frm.h"
#include "results/result_view.h"
#include "screening/screening_panel.h"
#include "sweep/sweep_frm.h"

namespace vorteq {

void installFeaturePanels(Tfrm_main& window)
{
    // Each feature adds one call here: build its panel, window.install...(panel), window.hooks()....
    ScreeningPanel::install(window);
    JoukenEditor::install(window);
    ResultViews::install(window);
    SimulationRun::install(window);
    BatchSimulationWindow::install(window);
    ForwardCheckWindow::install(window);
    SweepWindow::install(window);
}

} // namespace vorteq
