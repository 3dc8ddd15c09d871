// Runs inside the test VM: the default Caps Lock layout of the real program, as Linux applications receive it.
// One program run serves every test here.
#include <gtest/gtest.h>

#include <iostream>

#include "e2e_support.h"

namespace vandrel::vmtest {
namespace {

class DefaultLayout : public ProgramSuite<DefaultLayout> {
protected:
    // Caps held and `key` tapped with `modifiers` held give `expected`; Caps goes up only once that came out,
    // as a person types: no Caps tap follows a combination that ran its action.
    static void expectCapsCombination(std::initializer_list<int> modifiers, int key, const std::vector<Key>& expected,
                                      std::string_view what)
    {
        ASSERT_TRUE(keyboard_->press(KEY_CAPSLOCK));
        ASSERT_TRUE(keyboard_->chord(modifiers, key));
        EXPECT_EQ(releasesInOrder(run_->readKeys(expected.size())), expected) << what;
        ASSERT_TRUE(keyboard_->release(KEY_CAPSLOCK));
        EXPECT_EQ(run_->keysBeforeSentinel(*keyboard_), std::vector<Key>{}) << what << ": nothing more";
    }

    // A modifier of a posted stroke goes up before or after the key's release, as the program's writes were
    // batched; applications act on the press. Puts such a pair in one order: the key's release first.
    static std::vector<Key> releasesInOrder(std::vector<Key> keys)
    {
        const auto isModifier = [](int code) {
            return code == KEY_LEFTCTRL || code == KEY_LEFTSHIFT || code == KEY_LEFTALT || code == KEY_LEFTMETA;
        };
        for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
            if (keys[i].value == 0 && isModifier(keys[i].code) && keys[i + 1].value == 0 &&
                !isModifier(keys[i + 1].code))
                std::swap(keys[i], keys[i + 1]);
        }
        return keys;
    }

    static std::vector<Key> withModifier(int modifier, const std::vector<Key>& keys)
    {
        std::vector<Key> all{{modifier, 1}};
        all.insert(all.end(), keys.begin(), keys.end());
        all.push_back({modifier, 0});
        return all;
    }
};

TEST_F(DefaultLayout, ACapsTapTypesEscape)
{
    ASSERT_TRUE(keyboard_->tap(KEY_CAPSLOCK));
    run_->expectOutput(*keyboard_, tapOf(KEY_ESC));
    // Nothing is left of Caps afterwards.
    ASSERT_TRUE(keyboard_->typeText("a"));
    EXPECT_EQ(run_->keysBeforeSentinel(*keyboard_), expectedKeys("a"));
}

TEST_F(DefaultLayout, CapsCombinationsTypeTheirLinuxEditingStrokes)
{
    struct Case {
        const char* what;
        std::initializer_list<int> modifiers;
        int key;
        std::vector<Key> expected;
    };
    const std::vector<Case> cases{
        {"Caps+E up", {}, KEY_E, tapOf(KEY_UP)},
        {"Caps+D down", {}, KEY_D, tapOf(KEY_DOWN)},
        {"Caps+S left", {}, KEY_S, tapOf(KEY_LEFT)},
        {"Caps+F right", {}, KEY_F, tapOf(KEY_RIGHT)},
        {"Caps+A word left", {}, KEY_A, withModifier(KEY_LEFTCTRL, tapOf(KEY_LEFT))},
        {"Caps+G word right", {}, KEY_G, withModifier(KEY_LEFTCTRL, tapOf(KEY_RIGHT))},
        {"Caps+P line start", {}, KEY_P, tapOf(KEY_HOME)},
        {"Caps+; line end", {}, KEY_SEMICOLON, tapOf(KEY_END)},
        {"Caps+Space return", {}, KEY_SPACE, tapOf(KEY_ENTER)},
    };
    for (const Case& c : cases) expectCapsCombination(c.modifiers, c.key, c.expected, c.what);

    // Repeated strokes: Caps+T is ten lines up.
    std::vector<Key> tenUp;
    for (int i = 0; i < 10; ++i) tenUp.insert(tenUp.end(), {{KEY_UP, 1}, {KEY_UP, 0}});
    expectCapsCombination({}, KEY_T, tenUp, "Caps+T ten lines up");
}

TEST_F(DefaultLayout, ModifiersOfACapsCombinationPickTheBindingAndStayOffTheOutput)
{
    // Command is the Super key here: Caps+Super+S is five characters left, with no Super for applications.
    std::vector<Key> fiveLeft;
    for (int i = 0; i < 5; ++i) fiveLeft.insert(fiveLeft.end(), {{KEY_LEFT, 1}, {KEY_LEFT, 0}});
    expectCapsCombination({KEY_LEFTMETA}, KEY_S, fiveLeft, "Caps+Super+S");
    // Caps+Super+P is the start of the page.
    expectCapsCombination({KEY_LEFTMETA}, KEY_P, withModifier(KEY_LEFTCTRL, tapOf(KEY_HOME)), "Caps+Super+P");
}

}  // namespace
}  // namespace vandrel::vmtest
