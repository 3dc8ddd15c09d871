#include "ui/prefs/vd_key_scheme_manager_table_view.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMessageBox>
#include <tuple>

#include "core/defaults_keys.h"
#include "model/key_scheme_store.h"
#include "recorder_engine_fixture.h"
#include "ui/base/vd_modal.h"

namespace vandrel::test {
namespace {

class SchemeTable : public RecorderEngineTest {
protected:
    SchemeTable()
    {
        const auto& service = core->keyService;
        mine = service->transformToANewCustom(*service->availableBuildInKeyScheme().front(), "Mine");
        service->install(mine);
        service->activate(mine);
        mine->writeIntoUserDefaults();
        clock->runDue();
        mine->name.subscribe([this](const std::string& name) { publishedNames.push_back(name); }).disposed(bag);
        publishedNames.clear();

        cell = new ProgrammaticKeySchemeTableCellView({}, &window);
        cell->setObjectValue(mine);
        cell->textField()->setKeyService(service);
        cell->textField()->setModal(VDModal([this](QMessageBox& box) {
            warnings.push_back(box.text().toStdString());
            return 0;
        }));
        cell->textField()->setText("Mine");
        cell->textField()->setEditable(true);
    }

    // An edit of the name field that starts from its text and ends with the new one.
    void rename(const QString& newName)
    {
        cell->textField()->textDidBeginEditing(cell->textField()->text());
        cell->textField()->setText(newName);
        cell->textField()->textDidEndEditing(newName);
    }
    std::string fieldText() const { return cell->textField()->text().toStdString(); }

    VDKeySchemePtr mine;
    ProgrammaticKeySchemeTableCellView* cell;
    std::vector<std::string> warnings;
    std::vector<std::string> publishedNames;
    rx::DisposeBag bag;
};

TEST_F(SchemeTable, KeepingTheOwnNameIsAcceptedAndPublishedAgain)
{
    rename("Mine");
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(publishedNames, (std::vector<std::string>{"Mine"}));
}

TEST_F(SchemeTable, AnotherSchemesNameIsRefusedButACaseOnlyDifferenceIsNot)
{
    const std::string taken = "The name \"Vandrel\" is already taken. Please choose a different name.";
    // The name typed, the warning it gets (none: it is the new name) and the name then. Spaces around a name
    // do not count.
    const std::tuple<QString, std::string, std::string> rows[] = {{"Vandrel", taken, "Mine"},
                                                                  {"Vandrel ", taken, "Mine"},
                                                                  {"  Vandrel", taken, "Mine"},
                                                                  {"vandrel", "", "vandrel"},
                                                                  {" Ours  ", "", "Ours"}};
    for (const auto& [typed, warning, nameAfter] : rows) {
        SCOPED_TRACE(typed.toStdString());
        warnings.clear();
        publishedNames.clear();
        rename(typed);
        EXPECT_EQ(warnings, warning.empty() ? std::vector<std::string>{} : std::vector{warning});
        EXPECT_EQ(fieldText(), nameAfter);
        EXPECT_EQ(mine->name.value(), nameAfter);
        EXPECT_EQ(publishedNames, warning.empty() ? std::vector{nameAfter} : std::vector<std::string>{});
    }
    EXPECT_EQ(settings->get(DefaultsKeys::hotkey_customKeySchemeNames), (std::vector<std::string>{"Ours"}));
}

TEST_F(SchemeTable, AnEmptyOrBlankNameIsRefused)
{
    rename("");
    rename("   ");
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "The name \"\" is not valid. Please choose a different name.",
                            "The name \"   \" is not valid. Please choose a different name.",
                        }));
    EXPECT_EQ(fieldText(), "Mine");
    EXPECT_EQ(mine->name.value(), "Mine");
}

TEST_F(SchemeTable, AnotherSchemeOfTheEditedNameDoesNotBlockKeepingIt)
{
    const auto twin =
        core->keyService->transformToANewCustom(*core->keyService->availableBuildInKeyScheme().front(), "Twin");
    core->keyService->install(twin);
    twin->name.accept("Mine");
    rename("Mine");
    EXPECT_TRUE(warnings.empty());
}

TEST_F(SchemeTable, AnEndWithoutABeginningChangesNothing)
{
    cell->textField()->textDidEndEditing("Other");
    EXPECT_EQ(mine->name.value(), "Mine");
    EXPECT_TRUE(warnings.empty());
}

TEST_F(SchemeTable, TypingANewNameAndReturnRenamesTheStoredSchemeEverywhere)
{
    ASSERT_TRUE(activate(&window));
    cell->show();
    cell->textField()->setFocus();
    cell->textField()->selectAll();
    for (const QChar c : QStringLiteral("Ours")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(cell->textField(), &key);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(cell->textField(), &enter);
    other->setFocus();  // leaving the field ends nothing more
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(mine->name.value(), "Ours");
    EXPECT_EQ(publishedNames, (std::vector<std::string>{"Ours"}));

    EXPECT_EQ(settings->get(DefaultsKeys::hotkey_customKeySchemeNames), (std::vector<std::string>{"Ours"}));
    const auto stored = settings->get(DefaultsKeys::hotkey_allCustomKeySchemes);
    EXPECT_EQ(stored.count("Mine"), 0u);
    ASSERT_EQ(stored.count("Ours"), 1u);
    EXPECT_EQ(VDKeyScheme::fromJsonText(stored.at("Ours")).value()->name.value(), "Ours");
    EXPECT_EQ(settings->get(DefaultsKeys::hotkey_currentKeyScheme), "Ours");

    // The next start finds it under its new name and makes it active again.
    KeyService::Dependencies dependencies;
    dependencies.factoryScheme = [] { return BuildInVDKeyScheme::vandrel_v20190601(); };
    dependencies.settings = settings;
    const auto restarted = KeyService::make(dependencies);
    restarted->setUpAtLaunch();
    ASSERT_TRUE(restarted->activeKeyScheme.value());
    EXPECT_EQ(restarted->activeKeyScheme.value()->name.value(), "Ours");
}

TEST_F(SchemeTable, ARefusedNameTypedInIsWarnedAboutOnce)
{
    ASSERT_TRUE(activate(&window));
    cell->show();
    cell->textField()->setFocus();
    cell->textField()->selectAll();
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(cell->textField(), &erase);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(cell->textField(), &enter);
    other->setFocus();
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(fieldText(), "Mine");
}

TEST_F(SchemeTable, TheTableCountsTheSchemesWhenAskedAndShowsRenamesAfterAReload)
{
    VDKeySchemeManagerTableWrapperView wrapper;
    VDKeySchemeManagerTableView* table = wrapper.tableView();
    ASSERT_TRUE(table);
    EXPECT_EQ(wrapper.contentView(), table);
    EXPECT_TRUE(table->alternatingRowColors());
    VDKeySchemeTableDataSource dataSource(core->keyService);
    table->setDataSource(&dataSource);
    table->setViewFor([](VDKeySchemeManagerTableView& t, const QString& column, int row) -> QWidget* {
        if (column != VDKeySchemeManagerTableView::TableIdentifier::KeySchemeColumnId()) return nullptr;
        auto* view = new ProgrammaticKeySchemeTableCellView;
        const auto scheme = t.dataSource()->keySchemeAt(row);
        view->setObjectValue(scheme);
        view->textField()->setText(QString::fromStdString(scheme->name.value()));
        return view;
    });
    table->reloadData();
    const int before = table->numberOfRows();
    EXPECT_EQ(before, static_cast<int>(core->keyService->availableKeySchemes.value().size()));
    EXPECT_EQ(table->columnIdentifier(0).toStdString(), "KeySchemeColumn");

    mine->name.accept("Renamed");
    core->keyService->install(core->keyService->transformToANewCustom(*mine, "Another"));
    EXPECT_EQ(dataSource.numberOfRows(), before + 1);
    table->reloadData();
    EXPECT_EQ(table->numberOfRows(), before + 1);
    auto* row = qobject_cast<ProgrammaticKeySchemeTableCellView*>(table->viewAt(0, before - 1));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->textField()->text().toStdString(), "Renamed");
    EXPECT_TRUE(row->textField()->isReadOnly());
}

}  // namespace
}  // namespace vandrel::test
