#pragma once

#include "app/FileSaveDialog.h"
#include "app/MessageDialog.h"
#include "app/orq_common.h"

#include <QFile>
#include <QString>

#include <memory>
#include <string>

namespace vorteq::test {

// Scripted message boxes and save dialogs for as long as the object lives; the previous ones come back after.
class ScriptedUi {
public:
    ScriptedUi()
        : messages(std::make_shared<ScriptedMessageDialog>()),
          saves(std::make_shared<ScriptedFileSaveDialog>()), m_previousMessages(setMessageDialog(messages)),
          m_previousSaves(setFileSaveDialog(saves))
    {
    }
    ~ScriptedUi()
    {
        setMessageDialog(m_previousMessages);
        setFileSaveDialog(m_previousSaves);
    }
    ScriptedUi(const ScriptedUi&) = delete;
    ScriptedUi& operator=(const ScriptedUi&) = delete;

    std::shared_ptr<ScriptedMessageDialog> messages;
    std::shared_ptr<ScriptedFileSaveDialog> saves;

private:
    std::shared_ptr<MessageDialog> m_previousMessages;
    std::shared_ptr<FileSaveDialog> m_previousSaves;
};

// A fresh session as at program start, with the given data folder and server.
inline void resetSession(const QString& baseDir, const std::string& serverUrl)
{
    session() = SessionState{};
    session().base_dir = baseDir.toStdString();
    session().server_url = serverUrl;
}

// The bytes of a file, or a null array when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline bool writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace vorteq::test
