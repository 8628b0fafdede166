#pragma once

namespace vorteq {

class Tfrm_main;

// Puts the feature panels into the main window's hosts and registers their hooks: the screening area,
// the condition editor and the result views. The one place that knows which panels exist.
void installFeaturePanels(Tfrm_main& window);

} // namespace vorteq
