#include "ui/prefs/times_param_selector.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <vector>

#include "prefs_fixture.h"

namespace vandrel::test {
namespace {

TEST(NumberOfTimesFormatter, AcceptsEmptyOrAWholeNumberFromOneToFifty)
{
    for (const char* text : {"", "1", "50", "07", "+5", "30", "49"})
        EXPECT_TRUE(NumberOfTimesFormatter::isPartialStringValid(text)) << '"' << text << '"';
    for (const char* text :
         {"0", "51", "100", "abc", "5a", "-5", "+", "++5", " 5", "5 ", "1.5", "99999999999999999999"})
        EXPECT_FALSE(NumberOfTimesFormatter::isPartialStringValid(text)) << '"' << text << '"';
    EXPECT_EQ(NumberOfTimesFormatter::timesOf("07"), 7);
    EXPECT_EQ(NumberOfTimesFormatter::timesOf("+5"), 5);
    EXPECT_EQ(NumberOfTimesFormatter::timesOf(""), std::nullopt);
}

class TimesSelector : public testing::Test {
protected:
    TimesSelector()
    {
        selector = new TimesParamSelector(QString::number(3), &window);
        selector->setFormatter(new NumberOfTimesFormatter);
        selector->addItemsWithObjectValues(TimesParamSelector::defaultListValues);
        selector->changedParamValue.subscribe([this](int n) { published.push_back(n); }).disposed(bag);
        activate(&window);
        selector->setFocus();
    }

    void key(int qtKey, const QString& text = {})
    {
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
        QCoreApplication::sendEvent(selector->lineEdit(), &press);
    }
    void type(const QString& text)
    {
        for (QChar c : text) key(0, QString(c));
    }
    void clearText()
    {
        selector->lineEdit()->selectAll();
        key(Qt::Key_Backspace);
    }
    std::string text() const { return selector->currentText().toStdString(); }

    QWidget window;
    TimesParamSelector* selector;
    std::vector<int> published;
    rx::DisposeBag bag;
};

TEST_F(TimesSelector, ShowsTheInitialCountWithTheListBehindIt)
{
    EXPECT_EQ(text(), "3");
    ASSERT_EQ(selector->count(), 7);
    EXPECT_EQ(selector->itemText(6).toStdString(), "30");
    EXPECT_TRUE(published.empty());
}

TEST_F(TimesSelector, TypingPublishesAfterEachAcceptedKeystrokeAndRefusedOnesChangeNothing)
{
    clearText();
    type("15");
    EXPECT_EQ(text(), "15");
    EXPECT_EQ(published, (std::vector<int>{1, 15}));
    type("0");  // 150
    EXPECT_EQ(text(), "15");
    clearText();
    type("0a5");
    EXPECT_EQ(text(), "5");
    type("1");  // 51
    EXPECT_EQ(text(), "5");
    // Typing "2" is "2", not a listed count that starts with it.
    clearText();
    type("2");
    EXPECT_EQ(text(), "2");
    EXPECT_EQ(published, (std::vector<int>{1, 15, 5, 2}));
}

TEST_F(TimesSelector, AnEmptiedFieldPublishesNothingSoTheLastCountStays)
{
    clearText();
    EXPECT_EQ(text(), "");
    EXPECT_TRUE(published.empty());
    type("7");
    key(Qt::Key_Backspace);
    EXPECT_EQ(published, (std::vector<int>{7}));
}

TEST_F(TimesSelector, APickFromTheListPublishesThePickedCountOnce)
{
    selector->setCurrentIndex(5);  // a count set by the host publishes nothing
    EXPECT_TRUE(published.empty());
    key(Qt::Key_Down);
    EXPECT_EQ(text(), "30");
    EXPECT_EQ(published, (std::vector<int>{30}));
}

}  // namespace
}  // namespace vandrel::test
