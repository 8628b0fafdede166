#pragma once

#include <QString>

class QDir;
class QWidget;

#include <string>

namespace vorteq {

// Shows the login window, the main window (normal, on each tab of the condition editor, and with either
// area widened) and the account window with sample session values and saves each as a PNG in the folder.
// Nothing is sent or written outside that folder. Returns the process exit code.
int takeScreenshots(const QString& folder);

// Grabs the widget into name.png in the folder and prints the path; false (and a message on
// standard error) when the file cannot be written.
bool saveScreenshot(QWidget& widget, const QDir& dir, const QString& name);

// Logs in as the demo user at the server, runs a back-test ("CODE,NAME,MARKET,MARKETNAME,yyyy/mm/dd,PERIOD",
// PERIOD the position in the period list) with a condition set using every kind of chart overlay,
// and saves the result tabs, the chart and the risk and return figures as PNGs in the folder.
int takeRunScreenshots(const QString& folder, const std::string& serverUrl, const QString& run);

} // namespace vorteq
