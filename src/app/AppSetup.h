#pragma once

namespace vorteq {

// Prepares the running application: Japanese locale and standard-dialog texts, a font that carries
// Japanese, the hourglass cursor while a statement batch runs.
void setupApplication();

} // namespace vorteq
