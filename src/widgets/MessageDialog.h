#pragma once

#include "common/Result.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace vorteq {

// The kind of a message box: its title and icon.
enum class MsgKind {
    Warning,      // "警告", exclamation
    Error,        // "エラー", stop
    Information,  // "情報", information
    Confirmation, // "確認", question mark
};

enum class MsgButtons {
    Ok,    // "OK"
    YesNo, // "はい(&Y)", "いいえ(&N)"
};

enum class MsgResult {
    Ok,
    Yes,
    No,
    // A Yes/No box closed by its title bar or Escape without choosing. Every question that asks for a
    // Yes takes it as No; only the account window's changes, which stop on an explicit No, go on.
    Dismissed,
};

QString msgKindTitle(MsgKind kind);

// The modal message box every window uses. Texts may break lines with LF CR, CR LF or LF.
class MessageDialog {
public:
    virtual ~MessageDialog() = default;
    virtual MsgResult show(const QString& text, MsgKind kind, MsgButtons buttons) = 0;
};

// The message box of the running program, built on QMessageBox.
class QtMessageDialog : public MessageDialog {
public:
    MsgResult show(const QString& text, MsgKind kind, MsgButtons buttons) override;
};

// A message box for tests: records every box and answers Yes/No questions from a queue. OK boxes never
// take an answer; a question without a queued answer is counted and answered No.
class ScriptedMessageDialog : public MessageDialog {
public:
    struct Shown {
        QString text;
        MsgKind kind;
        MsgButtons buttons;
    };

    MsgResult show(const QString& text, MsgKind kind, MsgButtons buttons) override;

    void answer(MsgResult result) { m_answers.push_back(result); }
    const std::vector<Shown>& shown() const { return m_shown; }
    const Shown& last() const { return m_shown.back(); }
    int unanswered() const { return m_unanswered; }
    int pendingAnswers() const { return static_cast<int>(m_answers.size()); }
    void clear();

private:
    std::deque<MsgResult> m_answers;
    std::vector<Shown> m_shown;
    int m_unanswered = 0;
};

// The message box in use. Starts as QtMessageDialog; tests install a ScriptedMessageDialog.
MessageDialog& messageDialog();
// Installs a message box and returns the previous one.
std::shared_ptr<MessageDialog> setMessageDialog(std::shared_ptr<MessageDialog> dialog);

// Shorthand for messageDialog().show(...).
MsgResult showMessage(const QString& text, MsgKind kind, MsgButtons buttons = MsgButtons::Ok);
MsgResult showMessage(const char* utf8Text, MsgKind kind, MsgButtons buttons = MsgButtons::Ok);

// A failure the user meets (no connection, a damaged reply, a file that cannot be written): an error
// box with its message. The window that called stays usable. A session that the server no longer
// knows (ErrorCode::SessionExpired) goes to the session handler instead, when one is installed.
void showError(const Error& error);

// What to do when the server asks for a new login: the main window tells the user and offers the
// login window. Process-wide; an empty function removes it (the error is then shown as any other).
void setSessionExpiredHandler(std::function<void(const Error&)> handler);

// Runs a user action from a button, a key or a menu. An exception that escapes it (a broken invariant
// deep in a feature) ends only that action, with an error box, never the program.
void runAction(const std::function<void()>& action);

// Text with LF CR or CR LF line breaks as single LF breaks, for display.
QString displayLineBreaks(QString text);

} // namespace vorteq
