#pragma once

#include <QDateEdit>
#include <QString>

namespace vorteq {

// A date field (yyyy/MM/dd, calendar popup) that also takes a date typed whole. With the whole text
// selected, a digit starts a new date: "20240614" or "2024/06/14" (the slashes are put in as the
// digits come); the tenth character or Enter takes it, Escape gives the old date back. A typed date
// that is not a calendar day, or lies outside the offered range, is refused with a message naming
// why and the field keeps its date. The calendar offers only the dates of the range.
class DateEdit : public QDateEdit {
    Q_OBJECT
public:
    explicit DateEdit(QWidget* parent = nullptr);

    // The dates the calendar offers and a typed date may take: the data's first day to the last update.
    void setOfferedRange(const QDate& first, const QDate& last);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    QValidator::State validate(QString& input, int& pos) const override;

private:
    bool typeWholeDate(QKeyEvent* event);
    void showTyped();
    void takeTyped();
    void dropTyped();

    bool m_typing = false;
    QString m_typed;
};

} // namespace vorteq
