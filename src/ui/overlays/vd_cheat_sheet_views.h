// What the cheat sheet shows: columns of groups of rows, each row a right-aligned key part (modifier
// names in the secondary colour, then the key symbol) and the action's description, cut at its end with an
// ellipsis when it does not fit. Columns stand side by side in a horizontal container with a separator
// between neighbours:
//
//   container (StackView, horizontal)
//     VDCheatSheetListStack | VDCheatSheetSeparator | VDCheatSheetListStack ...
//       VDCheatSheetGroup: title row (empty key part, bold title), then one VDCheatSheetItem per setting
//
// All on the main thread.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QString>
#include <optional>
#include <unordered_map>
#include <utility>

#include "model/vd_key.h"
#include "model/vd_key_scheme.h"
#include "ui/base/stack_view.h"
#include "ui/base/view_componentized.h"
#include "ui/overlays/cheat_sheet_columns.h"

namespace vandrel {

// One column: a vertical stack 420 wide (as wide as its texts need, once drawn) with 20 of padding, its
// groups at the top.
class VDCheatSheetListStack : public StackView, public ViewComponentized {
    Q_OBJECT
public:
    VDCheatSheetListStack();
    void initConstraints() override;
};

// One group: its title row and its setting rows.
class VDCheatSheetGroup : public StackView, public ViewComponentized {
    Q_OBJECT
public:
    VDCheatSheetGroup();
    void initConstraints() override;
};

// One row: key part and text part.
class VDCheatSheetItem : public StackView, public ViewComponentized {
    Q_OBJECT
public:
    VDCheatSheetItem();
    void initConstraints() override;

    // Appends the key part (keyWidth wide, laid out right to left) and the text part filling the rest.
    std::pair<StackView*, StackView*> addKeyAndDescriptionView(int keyWidth);
};

// The vertical line between two columns.
class VDCheatSheetSeparator : public QFrame {
    Q_OBJECT
public:
    VDCheatSheetSeparator();
};

// A one-line label that never asks for more width than it gets and shows its text cut at the end with an
// ellipsis when it does not fit.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text);
    // The text as drawn at the current width.
    QString displayedText() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Appends to a key part the key symbol and, left of it, the modifier names.
void appendKeysLabel(StackView& keyPart, const VDKey& key);
// Appends one text to a text part; a group name is bold.
ElidedLabel* appendContentText(StackView& textPart, const QString& text, bool isGroupName);
// Appends a separator.
void addSeparator(StackView& container);

// Columns among the container's views (separators not counted).
int listStackSubviewCount(const StackView& container);

using GroupViews = std::unordered_map<VDActionGroup, VDCheatSheetGroup*>;

// What the rows of each group of a scheme need in the font at hand: the key part as wide as its widest
// hotkey (at least keyViewWidth), and its widest description or title.
struct CheatSheetGroupWidth {
    int keyPart;
    int text;
};
using CheatSheetGroupWidths = std::unordered_map<VDActionGroup, CheatSheetGroupWidth>;
CheatSheetGroupWidths cheatSheetGroupWidths(const VDKeyScheme& scheme);

// A column of these groups: its hotkeys take the room its widest one needs, its descriptions the room their
// widest one needs up to what a column of listWidth leaves them (a longer one is cut). One width per column.
int keyPartWidthOf(const CheatSheetGroupWidths& widths, const CheatSheetColumn& column);
std::vector<int> listWidthsOf(const CheatSheetGroupWidths& widths, const CheatSheetColumns& columns);

// Replaces the container's content with the columns of the scheme, each as wide as its own texts need
// (listWidthsOf); groupViews then records exactly the group views built. A group the scheme has no settings
// for is skipped.
void drawCheatSheet(StackView& container, const VDKeyScheme& scheme, const CheatSheetColumns& columns,
                    GroupViews& groupViews);

// Moves the existing group views into the columns of the lists: a view already in its column keeps its
// place, a moved one goes to the end of its new column. The container holds at least as many columns as
// there are lists.
void rearrangementGroupStackViews(StackView& container, const CheatSheetColumns& columns, const GroupViews& groupViews);

// Brings the container to as many columns as there are lists without rebuilding the content: surplus
// columns (and their separators) are removed after their groups moved out; missing ones are appended
// (each after a separator) before the groups move in. The columns then take listWidths, one per column, when
// given; else a new one is as wide as the first drawn one.
void changeColumnCount(StackView& container, const CheatSheetColumns& columns, const GroupViews& groupViews,
                       const std::vector<int>& listWidths = {});

// The text a setting shows: its action's description built from the setting's parameters when the action
// has one that yields text, else the action's fixed description.
std::string descriptionOf(const VDKeySetting& setting);

}  // namespace vandrel
