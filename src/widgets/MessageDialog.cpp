#include "widgets/MessageDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <exception>
#include <string>

namespace vorteq {

QString msgKindTitle(MsgKind kind)
{
    switch (kind) {
    case MsgKind::Warning:
        return QStringLiteral("警告");
    case MsgKind::Error:
        return QStringLiteral("エラー");
    case MsgKind::Information:
        return QStringLiteral("情報");
    case MsgKind::Confirmation:
        return QStringLiteral("確認");
    }
    return {};
}

QString displayLineBreaks(QString text)
{
    text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

MsgResult QtMessageDialog::show(const QString& text, MsgKind kind, MsgButtons buttons)
{
    QMessageBox box(QApplication::activeWindow());
    box.setObjectName(QStringLiteral("msg_box"));
    box.setWindowTitle(msgKindTitle(kind));
    box.setText(displayLineBreaks(text));
    box.setTextFormat(Qt::PlainText);
    switch (kind) {
    case MsgKind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }

    QPushButton* ok = nullptr;
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* dismiss = nullptr;
    if (buttons == MsgButtons::Ok) {
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        ok->setObjectName(QStringLiteral("btn_msg_ok"));
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    } else {
        yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        yes->setObjectName(QStringLiteral("btn_msg_yes"));
        no->setObjectName(QStringLiteral("btn_msg_no"));
        // Closing the box or pressing Escape must not count as a press of No: an invisible button takes
        // that role so the caller can tell the two apart.
        dismiss = box.addButton(QString(), QMessageBox::RejectRole);
        dismiss->setObjectName(QStringLiteral("btn_msg_dismiss"));
        dismiss->hide();
        box.setEscapeButton(dismiss);
        box.setDefaultButton(yes);
    }

    box.exec();
    const auto* clicked = box.clickedButton();
    if (buttons == MsgButtons::Ok)
        return MsgResult::Ok;
    if (clicked == yes)
        return MsgResult::Yes;
    if (clicked == no)
        return MsgResult::No;
    return MsgResult::Dismissed;
}

MsgResult ScriptedMessageDialog::show(const QString& text, MsgKind kind, MsgButtons buttons)
{
    m_shown.push_back(Shown{text, kind, buttons});
    if (buttons == MsgButtons::Ok)
        return MsgResult::Ok;
    if (m_answers.empty()) {
        ++m_unanswered;
        return MsgResult::No;
    }
    const MsgResult result = m_answers.front();
    m_answers.pop_front();
    return result;
}

void ScriptedMessageDialog::clear()
{
    m_answers.clear();
    m_shown.clear();
    m_unanswered = 0;
}

namespace {

std::shared_ptr<MessageDialog>& currentDialog()
{
    static std::shared_ptr<MessageDialog> dialog = std::make_shared<QtMessageDialog>();
    return dialog;
}

} // namespace

MessageDialog& messageDialog()
{
    return *currentDialog();
}

std::shared_ptr<MessageDialog> setMessageDialog(std::shared_ptr<MessageDialog> dialog)
{
    auto previous = std::move(currentDialog());
    currentDialog() = dialog ? std::move(dialog) : std::make_shared<QtMessageDialog>();
    return previous;
}

MsgResult showMessage(const QString& text, MsgKind kind, MsgButtons buttons)
{
    return messageDialog().show(text, kind, buttons);
}

MsgResult showMessage(const char* utf8Text, MsgKind kind, MsgButtons buttons)
{
    return messageDialog().show(QString::fromUtf8(utf8Text), kind, buttons);
}

namespace {

std::function<void(const Error&)>& sessionExpiredHandler()
{
    static std::function<void(const Error&)> handler;
    return handler;
}

} // namespace

void setSessionExpiredHandler(std::function<void(const Error&)> handler)
{
    sessionExpiredHandler() = std::move(handler);
}

void showError(const Error& error)
{
    if (error.code == ErrorCode::SessionExpired && sessionExpiredHandler()) {
        // A copy: the handler may replace itself while it runs (a window closing).
        const auto handler = sessionExpiredHandler();
        handler(error);
        return;
    }
    showMessage(QString::fromStdString(error.message), MsgKind::Error, MsgButtons::Ok);
}

void runAction(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        showError(makeError(ErrorCode::Internal, std::string("処理を続けられませんでした: ") + e.what()));
    }
}

} // namespace vorteq
