#include "ui/prefs/times_param_selector.h"

#include <QLineEdit>
#include <charconv>
#include <string>

namespace vandrel {

std::optional<int> NumberOfTimesFormatter::timesOf(const QString& text)
{
    const std::string s = text.toStdString();
    const char* first = s.data();
    const char* last = s.data() + s.size();
    // One sign, as the standard integer parse reads it; from_chars takes "-" only.
    if (first != last && *first == '+') ++first;
    if (first == last || *first == '+') return std::nullopt;
    long long value = 0;
    const auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last) return std::nullopt;
    if (value < minimumTimes || value > maximumTimes) return std::nullopt;
    return static_cast<int>(value);
}

bool NumberOfTimesFormatter::isPartialStringValid(const QString& text)
{
    return text.isEmpty() || timesOf(text).has_value();
}

QValidator::State NumberOfTimesFormatter::validate(QString& input, int&) const
{
    return isPartialStringValid(input) ? Acceptable : Invalid;
}

TimesParamSelector::TimesParamSelector(const QString& labelWithString, QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    // Typing "2" must stay "2", not complete to a listed "20"; and Return adds nothing to the list.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setEditText(labelWithString);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { publishValue(); });
    // A pick has set the text by the time this arrives.
    connect(this, &QComboBox::activated, this, [this] { publishValue(); });
}

void TimesParamSelector::setFormatter(NumberOfTimesFormatter* formatter)
{
    formatter->setParent(this);
    setValidator(formatter);
}

void TimesParamSelector::addItemsWithObjectValues(const std::vector<int>& values)
{
    const QString text = currentText();
    for (int value : values) addItem(QString::number(value));
    // Adding items to an empty box selects the first; the shown count stays.
    setEditText(text);
}

std::optional<int> TimesParamSelector::integerValue() const
{
    return NumberOfTimesFormatter::timesOf(currentText());
}

void TimesParamSelector::publishValue()
{
    if (const auto value = integerValue()) changedParamValue.onNext(*value);
}

}  // namespace vandrel
