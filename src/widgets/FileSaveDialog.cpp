#include "widgets/FileSaveDialog.h"

#include <QApplication>
#include <QFileDialog>

namespace vorteq {

std::optional<QString> QtFileSaveDialog::askSavePath(const SaveFileRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow(), request.title);
    dialog.setObjectName(QStringLiteral("dlg_save"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.defaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

std::optional<QString> ScriptedFileSaveDialog::askSavePath(const SaveFileRequest& request)
{
    m_requests.push_back(request);
    if (m_answers.empty())
        return std::nullopt;
    const QString path = m_answers.front();
    m_answers.pop_front();
    if (path.isNull())
        return std::nullopt;
    return path;
}

namespace {

std::shared_ptr<FileSaveDialog>& currentDialog()
{
    static std::shared_ptr<FileSaveDialog> dialog = std::make_shared<QtFileSaveDialog>();
    return dialog;
}

} // namespace

FileSaveDialog& fileSaveDialog()
{
    return *currentDialog();
}

std::shared_ptr<FileSaveDialog> setFileSaveDialog(std::shared_ptr<FileSaveDialog> dialog)
{
    auto previous = std::move(currentDialog());
    currentDialog() = dialog ? std::move(dialog) : std::make_shared<QtFileSaveDialog>();
    return previous;
}

SaveFileRequest exportSaveRequest()
{
    return SaveFileRequest{
        QStringLiteral("データの出力"),
        {QStringLiteral("csv file (*.csv)"), QStringLiteral("text file (*.txt)"),
         QStringLiteral("All (*.*)")},
        QStringLiteral("csv"),
    };
}

} // namespace vorteq
