#pragma once

#include "widgets/FileSaveDialog.h"
#include "widgets/MessageDialog.h"
#include "workbench/orq_common.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <QWidget>

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

// Labels, buttons and lists shown narrower or lower than their text needs, by name: a cut-off caption.
inline QStringList squeezedWidgets(const QWidget& root)
{
    QStringList squeezed;
    for (const QWidget* w : root.findChildren<QWidget*>()) {
        if (!w->isVisible() || !(qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
                                 qobject_cast<const QComboBox*>(w) || qobject_cast<const QDateEdit*>(w)))
            continue;
        const QSize need = w->sizeHint();
        if (w->width() < need.width() || w->height() < need.height())
            squeezed << QStringLiteral("%1 \"%2\" %3x%4 < %5x%6")
                            .arg(w->objectName(), w->property("text").toString())
                            .arg(w->width())
                            .arg(w->height())
                            .arg(need.width())
                            .arg(need.height());
    }
    return squeezed;
}

// Visible named controls of one parent that cover each other, by name (the toolkit's own pieces, unnamed or
// named "qt_...", are left out).
inline QStringList overlappingSiblings(const QWidget& root)
{
    QStringList overlaps;
    QList<const QWidget*> parents{&root};
    for (const QWidget* w : root.findChildren<QWidget*>())
        parents << w;
    for (const QWidget* parent : parents) {
        const auto children = parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (int i = 0; i < children.size(); ++i) {
            for (int j = i + 1; j < children.size(); ++j) {
                const QWidget* a = children[i];
                const QWidget* b = children[j];
                const auto ours = [](const QWidget* w) {
                    return w->isVisible() && !w->isWindow() && !w->objectName().isEmpty() &&
                           !w->objectName().startsWith(QStringLiteral("qt_"));
                };
                if (ours(a) && ours(b) && a->geometry().intersects(b->geometry()))
                    overlaps << a->objectName() + QStringLiteral(" / ") + b->objectName();
            }
        }
    }
    return overlaps;
}

// Controls without a name, by class and text, and names that more than one control carries. Pieces the
// toolkit builds inside its own compound controls (the arrows of a tab bar, the editor inside a date picker,
// all named "qt_...") are not the program's.
inline QStringList unnamedControls(const QWidget& root)
{
    QStringList unnamed;
    for (const QWidget* w : root.findChildren<QWidget*>()) {
        const QWidget* parent = w->parentWidget();
        if (parent && (parent->inherits("QTabBar") || parent->inherits("QComboBox") ||
                       parent->inherits("QAbstractSpinBox") || parent->inherits("QAbstractScrollArea") ||
                       parent->inherits("QCalendarWidget")))
            continue;
        const bool control = w->inherits("QLabel") || w->inherits("QAbstractButton") ||
                             w->inherits("QLineEdit") || w->inherits("QComboBox") ||
                             w->inherits("QAbstractSpinBox") || w->inherits("QTabWidget") ||
                             w->inherits("QGroupBox") || w->inherits("QSplitter") ||
                             w->inherits("QAbstractItemView") || w->inherits("QMenuBar");
        if (!control)
            continue;
        const QString name = w->objectName();
        if (name.isEmpty())
            unnamed << QStringLiteral("%1 \"%2\"")
                           .arg(QString::fromLatin1(w->metaObject()->className()),
                                w->property("text").toString());
        else if (!name.startsWith(QStringLiteral("qt_")) && !unnamed.contains(name) &&
                 root.findChildren<QWidget*>(name).size() > 1)
            unnamed << name; // a name two controls share finds only one of them
    }
    return unnamed;
}

} // namespace vorteq::test
