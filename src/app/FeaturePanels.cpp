#include "app/FeaturePanels.h"

#include "app/main_frm.h"
#include "conditions/jouken_editor.h"

namespace vorteq {

void installFeaturePanels(Tfrm_main& window)
{
    // Each feature adds one call here: build its panel, window.install...(panel), window.hooks()....
    JoukenEditor::install(window);
}

} // namespace vorteq
