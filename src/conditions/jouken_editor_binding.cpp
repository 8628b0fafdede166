#include "conditions/EditorLayout.h"
#include "conditions/JoukenValidation.h"
#include "conditions/jouken_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <string>

// The editor's controls to and from a condition record, field by field through the key table.

namespace vorteq {

namespace {

// Shows a text in an edit field whose typing limit is maxLength (0: none). QLineEdit cuts a text
// longer than its limit, so the limit grows to hold a longer loaded text ("0.02" in a three-character
// field stays whole) and shrinks back once the user has shortened the text.
void setEditText(QLineEdit* edit, const QString& text, int maxLength)
{
    if (maxLength > 0)
        edit->setMaxLength(std::max(maxLength, static_cast<int>(text.size())));
    edit->setText(text);
}

} // namespace

void JoukenEditor::set_jouken_defaults()
{
    // The defaults name an item of every list, so nothing is out of range here.
    jouken_to_editor(TJouken::defaults());
}

void JoukenEditor::clear_jouken_checks()
{
    for (const auto& f : kJoukenFields) {
        const Bound& b = m_bound[static_cast<std::size_t>(f.no)];
        if (f.kind == FieldKind::Switch || f.kind == FieldKind::ConditionUse)
            b.box->setChecked(false);
        if (f.kind == FieldKind::ConditionUse)
            b.andBox->setChecked(false);
    }
}

void JoukenEditor::editor_to_jouken(TJouken& target) const
{
    for (const auto& f : kJoukenFields) {
        const Bound& b = m_bound[static_cast<std::size_t>(f.no)];
        std::string& value = target[f.no];
        switch (f.kind) {
        case FieldKind::Number:
            value = b.edit->text().toStdString();
            break;
        case FieldKind::Choice:
            value = std::to_string(b.list->currentIndex());
            break;
        case FieldKind::Switch:
            value = b.box->isChecked() ? "1" : "0";
            break;
        case FieldKind::ConditionUse:
            value = b.box->isChecked() ? "1" : b.andBox->isChecked() ? "2" : "0";
            break;
        case FieldKind::TradePrice:
            for (std::size_t i = 0; i < b.radios.size(); ++i)
                if (b.radios[i]->isChecked())
                    value = std::to_string(i + 1);
            break;
        case FieldKind::Unbound:
            break;
        }
    }
}

std::vector<int> JoukenEditor::jouken_to_editor(const TJouken& source)
{
    std::vector<int> outOfRange;
    for (const auto& f : kJoukenFields) {
        const Bound& b = m_bound[static_cast<std::size_t>(f.no)];
        const std::string& value = source[f.no];
        switch (f.kind) {
        case FieldKind::Number:
            setEditText(b.edit, QString::fromStdString(value), fieldMaxLength(f.no));
            break;
        case FieldKind::Choice: {
            const auto position = choicePosition(f.no, value);
            if (!position)
                outOfRange.push_back(f.no);
            b.list->setCurrentIndex(position.value_or(0));
            break;
        }
        case FieldKind::Switch:
            b.box->setChecked(value == "1");
            break;
        case FieldKind::ConditionUse:
            // Ticking one box unticks its partner through the row's handler.
            if (value == "1") {
                b.box->setChecked(true);
            } else if (value == "2") {
                b.andBox->setChecked(true);
            } else {
                b.box->setChecked(false);
                b.andBox->setChecked(false);
            }
            break;
        case FieldKind::TradePrice:
            // Any other value keeps the button that is selected.
            if (value.size() == 1 && value[0] >= '1' && value[0] <= '4')
                b.radios[static_cast<std::size_t>(value[0] - '1')]->setChecked(true);
            break;
        case FieldKind::Unbound:
            break;
        }
    }
    return outOfRange;
}

} // namespace vorteq
