#pragma once

#include <QString>

namespace vorteq {

// Shows the login window, the main window (normal, on each tab of the condition editor, and with either
// area widened) and the account window with sample session values and saves each as a PNG in the folder.
// Nothing is sent or written outside that folder. Returns the process exit code.
int takeScreenshots(const QString& folder);

} // namespace vorteq
