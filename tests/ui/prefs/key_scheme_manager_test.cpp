#include "ui/prefs/key_scheme_manager.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <tuple>

#include "core/defaults_keys.h"
#include "core/file_helpers.h"
#include "hotkey_editor_fixture.h"
#include "ui/base/vd_modal.h"
#include "ui/prefs/vd_key_scheme_manager_window.h"

using namespace vandrel;
using B = BuiltInVDAction;
using P = VDAtomicActionParam;

namespace {

class ManagerTest : public test::HotkeyEditorTest {
protected:
    ManagerTest()
    {
        window = VDKeySchemeManagerWindow::make(&opener(), keyService, [] { return BuildInVDKeyScheme::basic(); });
        window->setModal(VDModal([this](QMessageBox& box) {
            questions.push_back((box.text() + " | " + box.defaultButton()->text()).toStdString());
            questionLook = {box.windowTitle(), box.icon()};
            return answer;
        }));
    }

    std::vector<std::string> rowTexts() const
    {
        std::vector<std::string> texts;
        for (int i = 0; i < window->schemesTable()->numberOfRows(); ++i)
            texts.push_back(window->rowText(i).toStdString());
        return texts;
    }
    int rowOf(const VDKeySchemePtr& scheme) const
    {
        const auto list = keyService->availableKeySchemes.value();
        return static_cast<int>(std::find(list.begin(), list.end(), scheme) - list.begin());
    }
    bool removeEnabled() const { return window->addAndRemoveButtons()->segment(1)->isEnabled(); }
    // To the focused widget, as the keyboard sends it.
    static void press(int key, const QString& text = {})
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    }

    std::unique_ptr<VDKeySchemeManagerWindow> window;
    // What the removal question is answered with (0 Remove, 1 Cancel, -1 closed), and each question asked
    // with its default button.
    int answer = 0;
    std::vector<std::string> questions;
    std::pair<QString, QMessageBox::Icon> questionLook;
};

}  // namespace

TEST_F(ManagerTest, NewSchemesAreCustomThenCustom2EachActiveStoredAndListedLast)
{
    ASSERT_TRUE(window);
    EXPECT_EQ(VDKeySchemeManagerWindow::make(nullptr, keyService, {}), nullptr);
    window->createNewScheme();
    window->createNewScheme();
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{"Vandrel", "Custom", "Custom 2"}));
    EXPECT_EQ(active()->name.value(), "Custom 2");
    EXPECT_EQ(active()->type(), VDKeySchemeType::custom);
    EXPECT_EQ(active()->keySettings.value().size(), BuildInVDKeyScheme::basic()->keySettings.value().size());
    EXPECT_TRUE(stored("Custom"));
    EXPECT_TRUE(stored("Custom 2"));
    EXPECT_EQ(settings->get(DefaultsKeys::hotkey_currentKeyScheme), "Custom 2");
}

TEST_F(ManagerTest, ADuplicateIsIndependentOfItsSource)
{
    auto work = addCustom("Work", {VDKeySetting::make(caps(2), B::moveDownN(), {P::times(3)})});
    window->selectRow(rowOf(work));
    ASSERT_EQ(window->selectedKeyScheme.value(), work);
    auto menu = window->makeAddMenu();
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "Duplicate \"Work\"");
    menu->actions()[0]->trigger();

    const auto copy = active();
    ASSERT_NE(copy, work);
    EXPECT_EQ(copy->name.value(), "Work 2");
    ASSERT_EQ(copy->keySettings.value().size(), 1u);
    EXPECT_NE(copy->keySettings.value()[0], work->keySettings.value()[0]);
    EXPECT_EQ(*copy->keySettings.value()[0], *work->keySettings.value()[0]);

    work->keySettings.accept({});
    EXPECT_EQ(copy->keySettings.value().size(), 1u);
    copy->replace(*copy->keySettings.value()[0], VDKeySetting::make(caps(3), B::moveUpN()));
    EXPECT_TRUE(work->keySettings.value().empty());
    EXPECT_EQ(stored("Work 2")->keySettings.value().size(), 1u);
}

TEST_F(ManagerTest, RemovalAsksFirstAndOnlyRemoveTakesTheActiveSchemeAndActivatesTheDefault)
{
    QKeyEvent deleteKey(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    // The "-" segment or Delete on the row; answered Cancel (1), closed (-1) or Remove (0).
    const std::tuple<const char*, bool, int> rows[] = {
        {"Cancelled", false, 1}, {"Closed", true, -1}, {"Removed", true, 0}};
    for (const auto& [name, byKey, reply] : rows) {
        auto mine = addCustom(name, {VDKeySetting::make(caps(2), B::moveDownN())});
        window->selectRow(rowOf(mine));
        EXPECT_TRUE(removeEnabled());
        const auto fileBefore = test::readFile(settings->filePath());
        answer = reply;
        byKey ? (void)QApplication::sendEvent(window->schemesTable(), &deleteKey)
              : window->addAndRemoveButtons()->segment(1)->click();
        ASSERT_FALSE(questions.empty());
        EXPECT_EQ(questions.back(), "Remove the hotkey scheme \"" + std::string(name) + "\"? | Cancel");
        if (reply != 0) {
            EXPECT_EQ(test::readFile(settings->filePath()), fileBefore) << name;
            EXPECT_EQ(active(), mine);
            EXPECT_EQ(window->selectedKeyScheme.value(), mine);
        }
    }
    EXPECT_EQ(questions.size(), 3u);
    EXPECT_EQ(active(), factory());
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{"Vandrel", "Cancelled", "Closed"}));
    EXPECT_EQ(window->selectedKeyScheme.value(), nullptr);
    EXPECT_EQ(window->selectedRow(), -1);
    EXPECT_FALSE(removeEnabled());
    EXPECT_FALSE(stored("Removed"));
    EXPECT_EQ(settings->get(DefaultsKeys::hotkey_currentKeyScheme), "Vandrel");
}

TEST_F(ManagerTest, BuiltInSchemesCannotBeRemovedAndRemovalTakesTheChosenObjectOnly)
{
    window->selectRow(0);
    EXPECT_FALSE(removeEnabled());
    EXPECT_EQ(window->makeAddMenu()->actions()[0]->text(), "Duplicate \"Vandrel\"");
    EXPECT_FALSE(window->manager().remove(factory()));
    window->removeKeyScheme();
    EXPECT_EQ(rowTexts(), std::vector<std::string>{"Vandrel"});

    // A per-application scheme and a custom one of the same name: only the chosen one goes.
    auto forApp = VDKeyScheme::make("Team", "", VDKeySchemeType::forApp, {}, {"org.example.app"});
    keyService->install(forApp);
    auto custom = addCustom("Team", {});
    window->selectRow(rowOf(custom));
    window->removeKeyScheme();
    const auto list = keyService->availableKeySchemes.value();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], forApp);

    window->selectRow(-1);
    EXPECT_FALSE(window->makeAddMenu()->actions()[0]->isEnabled());
    EXPECT_EQ(window->schemeOfRow(7), nullptr);
}

TEST_F(ManagerTest, AStoredSchemeThatCannotBeReadIsNeitherListedNorRemoved)
{
    settings->setObject(nlohmann::json::array({"Broken", "Fine"}), DefaultsKeys::hotkey_customKeySchemeNames.key());
    auto fine = VDKeyScheme::make("Fine", "", VDKeySchemeType::custom, {});
    settings->setObject(nlohmann::json{{"Broken", "{not json"}, {"Fine", *fine->toJsonText()}},
                        DefaultsKeys::hotkey_allCustomKeySchemes.key());
    keyService = makeKeyService();
    window = VDKeySchemeManagerWindow::make(&opener(), keyService, [] { return BuildInVDKeyScheme::basic(); });
    window->show();
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{"Vandrel", "Fine"}));
    window->createNewScheme();
    const auto names = settings->object(DefaultsKeys::hotkey_customKeySchemeNames.key());
    EXPECT_EQ(*names, nlohmann::json::array({"Broken", "Fine", "Custom"}));
    EXPECT_EQ((*settings->object(DefaultsKeys::hotkey_allCustomKeySchemes.key()))["Broken"], "{not json");
}

TEST_F(ManagerTest, TheTableFollowsRenamesAndNewLists)
{
    auto mine = addCustom("Mine", {});
    mine->name.accept("Yours");
    EXPECT_EQ(rowTexts(), (std::vector<std::string>{"Vandrel", "Yours"}));
    EXPECT_TRUE(stored("Yours"));
    EXPECT_FALSE(stored("Mine"));
}

TEST_F(ManagerTest, NamesAreEditedInPlaceOnlyForSchemesThatAreNotBuiltInAndTakenNamesAreRefused)
{
    auto mine = addCustom("Mine", {});
    auto* builtInCell = qobject_cast<ProgrammaticKeySchemeTableCellView*>(window->schemesTable()->viewAt(0, 0));
    auto* cell = qobject_cast<ProgrammaticKeySchemeTableCellView*>(window->schemesTable()->viewAt(0, 1));
    ASSERT_TRUE(builtInCell && cell);
    EXPECT_FALSE(builtInCell->textField()->isEditable());
    EXPECT_TRUE(cell->textField()->isEditable());
    EXPECT_EQ(cell->objectValue(), mine);

    std::vector<QString> warnings;
    cell->textField()->setModal(VDModal([&](QMessageBox& box) {
        warnings.push_back(box.text());
        return 0;
    }));
    cell->textField()->textDidBeginEditing("Mine");
    cell->textField()->textDidEndEditing("Vandrel");
    EXPECT_EQ(mine->name.value(), "Mine");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "The name \"Vandrel\" is already taken. Please choose a different name.");

    cell->textField()->textDidBeginEditing("Mine");
    cell->textField()->textDidEndEditing("Yours");
    EXPECT_EQ(mine->name.value(), "Yours");
    EXPECT_EQ(window->rowText(1), "Yours");
    EXPECT_TRUE(stored("Yours"));
}

TEST_F(ManagerTest, AClickIntoARowsNameSelectsTheRowSoItCanBeRemoved)
{
    addCustom("Mine", {});
    auto* cell = qobject_cast<ProgrammaticKeySchemeTableCellView*>(window->schemesTable()->viewAt(0, 1));
    ASSERT_TRUE(cell);
    EXPECT_FALSE(removeEnabled());
    const QPoint inside = cell->textField()->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, inside, cell->textField()->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(cell->textField(), &press);
    EXPECT_TRUE(window->schemesTable()->selectionModel()->isRowSelected(1, QModelIndex()));
    EXPECT_TRUE(removeEnabled());
}

TEST_F(ManagerTest, ANameChangesOnlyWhenTheEditIsConfirmedAndDeleteOutsideAnEditRemovesTheScheme)
{
    ASSERT_TRUE(test::activate(window->window()));
    // A click selects the row and a second one, or F2, edits its name, typed over and ended by the key or by a
    // click on another row (Key_unknown); Delete only edits. Once the edit is over, Delete asks to remove the
    // scheme.
    const std::tuple<const char*, bool, QString, Qt::Key, const char*> rows[] = {
        {"Escaped", false, "Other", Qt::Key_Escape, "Escaped"}, {"Returned", false, "Other", Qt::Key_Return, "Other"},
        {"Left", false, "Left 2", Qt::Key_unknown, "Left 2"},   {"Deleting", false, "", Qt::Key_Delete, "Deleting"},
        {"Tabbed", false, "Tabbed 2", Qt::Key_Tab, "Tabbed 2"}, {"Keyed", true, "Keyed 2", Qt::Key_Return, "Keyed 2"},
    };
    const auto fieldOf = [this](const VDKeySchemePtr& scheme) {
        return window->schemesTable()->viewAt(0, rowOf(scheme))->findChild<QLineEdit*>();
    };
    for (const auto& [name, byF2, typed, key, nameAfter] : rows) {
        SCOPED_TRACE(name);
        questions.clear();
        const auto scheme = addCustom(name, {});
        window->selectRow(-1);
        auto* field = fieldOf(scheme);
        const auto fileBefore = test::readFile(settings->filePath());
        test::click(field);
        EXPECT_FALSE(field->hasFrame());
        byF2 ? press(Qt::Key_F2) : test::click(field);
        EXPECT_TRUE(field->hasFrame());
        for (const QChar c : typed) press(0, c);
        key == Qt::Key_unknown ? test::click(fieldOf(factory())) : press(key);

        EXPECT_TRUE(window->window()->isVisible());
        EXPECT_EQ(scheme->name.value(), nameAfter);
        EXPECT_EQ(window->rowText(rowOf(scheme)), key == Qt::Key_Delete ? "" : nameAfter);
        if (key == Qt::Key_Delete) press(Qt::Key_Escape);
        if (key == Qt::Key_unknown) test::click(fieldOf(scheme));
        EXPECT_TRUE(nameAfter != std::string(name) || test::readFile(settings->filePath()) == fileBefore);
        EXPECT_EQ(QApplication::focusWidget(), window->schemesTable());
        press(Qt::Key_Delete);
        EXPECT_EQ(questions, std::vector{"Remove the hotkey scheme \"" + std::string(nameAfter) + "\"? | Cancel"});
        EXPECT_EQ(questionLook, std::make_pair(QString("Vandrel \u2014 Hotkey Schemes"), QMessageBox::Warning));
        EXPECT_FALSE(stored(nameAfter));
    }
    // The manager closed during an edit keeps the old name, and shows no edit when it opens again.
    const auto scheme = addCustom("Closed", {});
    auto* field = fieldOf(scheme);
    test::click(field), test::click(field), press(0, QStringLiteral("x"));
    window->window()->close();
    window->show();
    EXPECT_EQ(scheme->name.value(), "Closed");
    EXPECT_EQ(window->rowText(rowOf(scheme)), "Closed");
    EXPECT_FALSE(field->hasFrame());
    // Outside an edit Escape closes the manager, as before.
    ASSERT_TRUE(test::activate(window->window()));
    press(Qt::Key_Escape);
    EXPECT_FALSE(window->window()->isVisible());
}
