#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace vorteq {

// What the save dialog shows: its title, the file-type filters in the form "csv file (*.csv)" and the
// extension added to a name typed without one.
struct SaveFileRequest {
    QString title;
    QStringList filters;
    QString defaultExtension;
};

// The exports' file-save dialog: the chosen path, or nothing when the user cancels.
class FileSaveDialog {
public:
    virtual ~FileSaveDialog() = default;
    virtual std::optional<QString> askSavePath(const SaveFileRequest& request) = 0;
};

// The dialog of the running program, built on QFileDialog.
class QtFileSaveDialog : public FileSaveDialog {
public:
    std::optional<QString> askSavePath(const SaveFileRequest& request) override;
};

// A save dialog for tests: records every request and answers from a queue; with nothing queued it
// answers as if the user cancelled.
class ScriptedFileSaveDialog : public FileSaveDialog {
public:
    std::optional<QString> askSavePath(const SaveFileRequest& request) override;

    void answer(const QString& path) { m_answers.push_back(path); }
    void answerCancel() { m_answers.push_back(QString()); }
    const std::vector<SaveFileRequest>& requests() const { return m_requests; }

private:
    std::deque<QString> m_answers; // a null text is a cancel
    std::vector<SaveFileRequest> m_requests;
};

// The save dialog in use. Starts as QtFileSaveDialog; tests install a ScriptedFileSaveDialog.
FileSaveDialog& fileSaveDialog();
std::shared_ptr<FileSaveDialog> setFileSaveDialog(std::shared_ptr<FileSaveDialog> dialog);

// The request every export of a grid makes: "データの出力", csv, txt and all files, default csv.
SaveFileRequest exportSaveRequest();

} // namespace vorteq
