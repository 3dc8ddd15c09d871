// The repeat count of an action ("times"): an editable combo box whose typing a NumberOfTimesFormatter
// limits to an empty text or a whole number from 1 to 50. Every accepted edit and every pick from the list
// publishes the new count on changedParamValue; an emptied field publishes nothing, so the count stays the
// last one published (a count of 0 is no count).
//
//   auto* times = new TimesParamSelector(QString::number(3));
//   times->setFormatter(new NumberOfTimesFormatter(times));
//   times->addItemsWithObjectValues(TimesParamSelector::defaultListValues);
//   times->changedParamValue.subscribe([](int n) { ... }).disposed(bag);
//
// Main thread only.
#pragma once

#include <QComboBox>
#include <QValidator>
#include <optional>
#include <vector>

#include "rx/rx.h"

namespace vandrel {

class NumberOfTimesFormatter : public QValidator {
    Q_OBJECT
public:
    static constexpr int minimumTimes = 1;
    static constexpr int maximumTimes = 50;

    using QValidator::QValidator;

    // Empty, or the whole text a base-10 number (one leading sign allowed) from 1 to 50.
    static bool isPartialStringValid(const QString& text);
    // The count of a valid non-empty text.
    static std::optional<int> timesOf(const QString& text);

    State validate(QString& input, int& pos) const override;
};

class TimesParamSelector : public QComboBox {
    Q_OBJECT
public:
    static inline const std::vector<int> defaultListValues{1, 3, 5, 10, 15, 20, 30};

    // An editable selector showing the text (the current count in decimal). The list is empty and no
    // formatter is set until the host adds them.
    explicit TimesParamSelector(const QString& labelWithString = {}, QWidget* parent = nullptr);

    // The formatter becomes a child of the selector.
    void setFormatter(NumberOfTimesFormatter* formatter);
    void addItemsWithObjectValues(const std::vector<int>& values);
    // The count the text stands for; absent for an empty or refused text.
    std::optional<int> integerValue() const;

    const rx::PublishSubject<int> changedParamValue;

private:
    void publishValue();
};

}  // namespace vandrel
