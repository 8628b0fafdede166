#include "widgets/DateEdit.h"

#include "widgets/MessageDialog.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace vorteq {

namespace {

const QString kFormat = QStringLiteral("yyyy/MM/dd");
constexpr qsizetype kDateLength = 10; // yyyy/MM/dd

bool isAsciiDigit(const QString& text)
{
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

bool isSeparator(const QString& text)
{
    return text == QStringLiteral("/") || text == QStringLiteral("-") || text == QStringLiteral(".");
}

} // namespace

DateEdit::DateEdit(QWidget* parent) : QDateEdit(parent)
{
    setDisplayFormat(kFormat);
    setCalendarPopup(true);
}

void DateEdit::setOfferedRange(const QDate& first, const QDate& last)
{
    if (first.isValid() && last.isValid() && first <= last)
        setDateRange(first, last);
}

QValidator::State DateEdit::validate(QString& input, int& pos) const
{
    // While a whole date is typed the field shows the digits so far, which are no date yet.
    if (m_typing)
        return QValidator::Intermediate;
    return QDateEdit::validate(input, pos);
}

void DateEdit::keyPressEvent(QKeyEvent* event)
{
    if (typeWholeDate(event)) {
        event->accept();
        return;
    }
    QDateEdit::keyPressEvent(event);
}

bool DateEdit::typeWholeDate(QKeyEvent* event)
{
    QLineEdit* edit = lineEdit();
    const QString text = event->text();
    const bool plain = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    if (!m_typing) {
        // Only a digit typed over the whole text starts a new date; anything else edits the parts.
        if (!plain || !isAsciiDigit(text) || !edit->hasSelectedText() || edit->selectedText() != edit->text())
            return false;
        m_typing = true;
        m_typed.clear();
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        dropTyped();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        takeTyped();
        return true;
    case Qt::Key_Backspace:
        m_typed.chop(1);
        if (m_typed.endsWith(QLatin1Char('/')))
            m_typed.chop(1);
        showTyped();
        return true;
    default:
        break;
    }
    if (plain && isAsciiDigit(text)) {
        m_typed += text;
        if (m_typed.size() == 4 || m_typed.size() == 7)
            m_typed += QLatin1Char('/');
    } else if (plain && isSeparator(text)) {
        // The slashes come by themselves; a typed one after a one-digit month or day pads it.
        const qsizetype part = m_typed.size() - m_typed.lastIndexOf(QLatin1Char('/')) - 1;
        if (m_typed.size() > 4 && part == 1 && m_typed.size() < kDateLength - 2) {
            m_typed.insert(m_typed.size() - 1, QLatin1Char('0'));
            m_typed += QLatin1Char('/');
        }
    } else if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        return false; // leaving the field: focusOutEvent takes or drops what was typed
    } else {
        return true; // nothing else belongs in a date
    }
    showTyped();
    if (m_typed.size() >= kDateLength)
        takeTyped();
    return true;
}

void DateEdit::showTyped()
{
    QLineEdit* edit = lineEdit();
    edit->setText(m_typed);
    edit->setCursorPosition(static_cast<int>(m_typed.size()));
}

void DateEdit::takeTyped()
{
    QString typed = m_typed;
    // A one-digit day at the end is a day all the same: 2006/03/9 is 2006/03/09.
    if (typed.size() == kDateLength - 1 && typed.lastIndexOf(QLatin1Char('/')) == kDateLength - 3)
        typed.insert(kDateLength - 2, QLatin1Char('0'));
    dropTyped();
    const QDate day = QDate::fromString(typed, kFormat);
    QString refusal;
    if (typed.size() < kDateLength)
        refusal = QStringLiteral("日付が最後まで入力されていません: ") + typed;
    else if (!day.isValid())
        refusal = typed + QStringLiteral(" はありえない日付です。");
    else if (day < minimumDate())
        refusal = typed + QStringLiteral(" は最初のデータ (") + minimumDate().toString(kFormat) +
                  QStringLiteral(") より前の日付です。");
    else if (day > maximumDate())
        refusal = typed + QStringLiteral(" は最終更新日 (") + maximumDate().toString(kFormat) +
                  QStringLiteral(") より後の日付です。");
    if (!refusal.isEmpty()) {
        showMessage(refusal + QStringLiteral("\n日付は元のままです。"), MsgKind::Warning);
        return;
    }
    setDate(day);
}

void DateEdit::dropTyped()
{
    m_typing = false;
    m_typed.clear();
    lineEdit()->setText(date().toString(kFormat));
    selectAll();
}

void DateEdit::focusOutEvent(QFocusEvent* event)
{
    if (m_typing)
        takeTyped();
    QDateEdit::focusOutEvent(event);
}

} // namespace vorteq
