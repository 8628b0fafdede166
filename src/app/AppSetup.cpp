#include "app/AppSetup.h"

#include "gateway/THttpStatements.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QThread>
#include <QTranslator>

namespace vorteq {

void setupApplication()
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));

    // The toolkit's own dialogs (the save dialog, the date picker's calendar) speak Japanese too.
    auto* translator = new QTranslator(qApp);
    if (translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;

    // The hourglass cursor while a statement batch of the window runs; every such request blocks the
    // window until its reply. The workers of a batch back-test send theirs off the window's thread,
    // which must not touch the cursor: the batch window shows its own progress.
    const auto onWindowThread = [] { return QThread::currentThread() == qApp->thread(); };
    setBusyHook(BusyHook{
        [onWindowThread] {
            if (!onWindowThread())
                return;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        },
        [onWindowThread] {
            if (onWindowThread())
                QApplication::restoreOverrideCursor();
        },
    });

    for (const QString& family : {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP")}) {
        if (QFontDatabase::families().contains(family)) {
            QFont font(family);
            font.setPointSize(9);
            QApplication::setFont(font);
            break;
        }
    }
}

} // namespace vorteq
