#include "ui/overlays/vd_cheat_sheet_views.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "core/localize.h"
#include "core/log.h"
#include "ui/base/ui_constants.h"

namespace vandrel {

namespace {

constexpr int kColumnSpacing = CheatSheetUIConstants::basicGap * 3;
constexpr int kGroupSpacing = CheatSheetUIConstants::basicGap / 2;
constexpr int kKeyLabelMinWidth = 15;

QFont systemFont(QFont::Weight weight)
{
    QFont font;
    font.setWeight(weight);
    return font;
}

// What a label needs for its text on one line.
int textWidth(const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font);
    // A label measures in a rectangle, which rounds up where the advance does not.
    const int inRect = metrics.boundingRect(QRect(0, 0, 2000, 2000), Qt::TextSingleLine, text).width();
    return std::max({metrics.horizontalAdvance(text), metrics.boundingRect(text).width(), inRect});
}

// The key part of rows of these settings: as wide as their widest hotkey needs, at least the usual width.
int keyPartWidth(const VDKeyScheme::KeySettings& settings)
{
    const QFont modifierFont = systemFont(QFont::Normal);
    const QFont symbolFont = systemFont(QFont::Medium);
    int keyPart = CheatSheetUIConstants::keyViewWidth;
    for (const auto& setting : settings) {
        const VDKey& key = setting->key();
        const int symbol = std::max(kKeyLabelMinWidth, textWidth(symbolFont, QString::fromStdString(key.keyChar())));
        keyPart = std::max(keyPart, textWidth(modifierFont, QString::fromStdString(key.modifiersString())) + symbol +
                                        CheatSheetUIConstants::basicGap / 2);
    }
    return keyPart;
}

void removeAllSubviews(StackView& stack)
{
    while (QLayoutItem* item = stack.boxLayout()->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

}  // namespace

VDCheatSheetListStack::VDCheatSheetListStack() : StackView(Qt::Vertical)
{
    setSpacing(kColumnSpacing);
    boxLayout()->setAlignment(Qt::AlignTop);
}

void VDCheatSheetListStack::initConstraints()
{
    constexpr int padding = PreferencesUIConstants::windowPadding;
    setFixedWidth(CheatSheetUIConstants::listWidth);
    boxLayout()->setContentsMargins(padding, padding, padding, padding);
}

VDCheatSheetGroup::VDCheatSheetGroup() : StackView(Qt::Vertical)
{
    setSpacing(kGroupSpacing);
}

void VDCheatSheetGroup::initConstraints()
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

VDCheatSheetItem::VDCheatSheetItem() : StackView(Qt::Horizontal)
{
    setSpacing(PreferencesUIConstants::basicGap);
}

void VDCheatSheetItem::initConstraints()
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

std::pair<StackView*, StackView*> VDCheatSheetItem::addKeyAndDescriptionView(int keyWidth)
{
    auto* keyPart = new StackView(Qt::Horizontal);
    keyPart->boxLayout()->setDirection(QBoxLayout::RightToLeft);
    keyPart->setSpacing(0);
    keyPart->setFixedWidth(keyWidth);
    auto* textPart = new StackView(Qt::Horizontal);
    textPart->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addArrangedSubview(keyPart);
    addArrangedSubview(textPart);
    // The gap between the parts is the row's spacing (CheatSheetUIConstants::basicGap).
    boxLayout()->setStretch(1, 1);
    return {keyPart, textPart};
}

VDCheatSheetSeparator::VDCheatSheetSeparator()
{
    setFrameShape(QFrame::VLine);
    setFrameShadow(QFrame::Sunken);
}

ElidedLabel::ElidedLabel(const QString& text) : QLabel(text)
{
    // The column's width decides; a long text never widens it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QString ElidedLabel::displayedText() const
{
    const int width = contentsRect().width();
    return fontMetrics().elidedText(text(), Qt::ElideRight, width);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), option.palette, isEnabled(), displayedText(),
                          foregroundRole());
}

void appendKeysLabel(StackView& keyPart, const VDKey& key)
{
    auto* modifiers = new QLabel(QString::fromStdString(key.modifiersString()));
    modifiers->setFont(systemFont(QFont::Normal));
    QPalette secondary = modifiers->palette();
    secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
    modifiers->setPalette(secondary);
    modifiers->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    modifiers->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    auto* symbol = new QLabel(QString::fromStdString(key.keyChar()));
    symbol->setFont(systemFont(QFont::Medium));
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setMinimumWidth(kKeyLabelMinWidth);
    symbol->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);

    // Right to left: the symbol stands at the right edge, the modifiers to its left.
    keyPart.addArrangedSubview(symbol);
    keyPart.addArrangedSubview(modifiers);
}

ElidedLabel* appendContentText(StackView& textPart, const QString& text, bool isGroupName)
{
    auto* label = new ElidedLabel(text);
    label->setFont(systemFont(isGroupName ? QFont::Bold : QFont::Normal));
    if (isGroupName) label->setContentsMargins(0, 0, 0, CheatSheetUIConstants::basicGap / 2);
    textPart.addArrangedSubview(label);
    return label;
}

void addSeparator(StackView& container)
{
    container.addArrangedSubview(new VDCheatSheetSeparator());
}

int listStackSubviewCount(const StackView& container)
{
    int count = 0;
    for (QWidget* view : container.arrangedSubviews())
        if (qobject_cast<VDCheatSheetListStack*>(view)) ++count;
    return count;
}

std::string descriptionOf(const VDKeySetting& setting)
{
    const auto& action = setting.action();
    if (action->dynamicDescription()) {
        if (auto text = action->dynamicDescription()(setting.paramSequence())) return *text;
    }
    return action->staticDescription();
}

CheatSheetGroupWidths cheatSheetGroupWidths(const VDKeyScheme& scheme)
{
    const QFont textFont = systemFont(QFont::Normal);
    const QFont titleFont = systemFont(QFont::Bold);
    CheatSheetGroupWidths widths;
    for (const auto& [group, settings] : scheme.groupToSettingsDictionary()) {
        int text = textWidth(titleFont, QString::fromStdString(localized(group.rawValue())));
        for (const auto& setting : settings)
            text = std::max(text, textWidth(textFont, QString::fromStdString(descriptionOf(*setting))));
        widths[group] = {keyPartWidth(settings), text};
    }
    return widths;
}

int keyPartWidthOf(const CheatSheetGroupWidths& widths, const CheatSheetColumn& column)
{
    int keyPart = CheatSheetUIConstants::keyViewWidth;
    for (const auto& group : column)
        if (const auto found = widths.find(group); found != widths.end())
            keyPart = std::max(keyPart, found->second.keyPart);
    return keyPart;
}

std::vector<int> listWidthsOf(const CheatSheetGroupWidths& widths, const CheatSheetColumns& columns)
{
    constexpr int padding = PreferencesUIConstants::windowPadding;
    constexpr int gap = PreferencesUIConstants::basicGap;
    // What a description may take before it is cut: its room in a column of the usual width.
    constexpr int usualTextRoom =
        CheatSheetUIConstants::listWidth - 2 * padding - CheatSheetUIConstants::keyViewWidth - gap;
    std::vector<int> lists;
    for (const auto& column : columns) {
        int text = 0;
        for (const auto& group : column)
            if (const auto found = widths.find(group); found != widths.end()) text = std::max(text, found->second.text);
        lists.push_back(2 * padding + keyPartWidthOf(widths, column) + gap + std::min(text, usualTextRoom));
    }
    return lists;
}

void drawCheatSheet(StackView& container, const VDKeyScheme& scheme, const CheatSheetColumns& columns,
                    GroupViews& groupViews)
{
    log.debug("groupsOfListToDisplay ->", columns.size());
    removeAllSubviews(container);
    // The views of the previous drawing are gone with it.
    groupViews.clear();
    const auto settingsOfGroup = scheme.groupToSettingsDictionary();
    const auto widths = cheatSheetGroupWidths(scheme);
    const auto listWidths = listWidthsOf(widths, columns);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        auto* column = ViewComponentized::create<VDCheatSheetListStack>(&container);
        column->setFixedWidth(listWidths[c]);
        const int keyWidth = keyPartWidthOf(widths, columns[c]);
        for (const auto& group : columns[c]) {
            const auto settings = settingsOfGroup.find(group);
            if (settings == settingsOfGroup.end()) {
                // The groups come from the same settings, so this is a scheme changed under us: show the rest.
                log.error("A cheat-sheet group has no settings, skipped ->", std::string(group.rawValue()));
                continue;
            }
            auto* groupView = ViewComponentized::create<VDCheatSheetGroup>(column);
            groupViews[group] = groupView;

            auto* title = ViewComponentized::create<VDCheatSheetItem>(groupView);
            auto [titleKeys, titleText] = title->addKeyAndDescriptionView(keyWidth);
            appendContentText(*titleText, QString::fromStdString(localized(group.rawValue())), true);

            for (const auto& setting : settings->second) {
                auto* row = ViewComponentized::create<VDCheatSheetItem>(groupView);
                auto [keyPart, textPart] = row->addKeyAndDescriptionView(keyWidth);
                appendKeysLabel(*keyPart, setting->key());
                appendContentText(*textPart, QString::fromStdString(descriptionOf(*setting)), false);
            }
        }
        if (c + 1 < columns.size()) addSeparator(container);
    }
}

void rearrangementGroupStackViews(StackView& container, const CheatSheetColumns& columns, const GroupViews& groupViews)
{
    log.debug("groupsOfListToDisplay ->", columns.size());
    const auto views = container.arrangedSubviews();
    std::size_t skip = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        std::size_t position = i + skip;
        while (position < views.size() && qobject_cast<VDCheatSheetSeparator*>(views[position])) {
            ++skip;
            position = i + skip;
        }
        auto* column = position < views.size() ? qobject_cast<VDCheatSheetListStack*>(views[position]) : nullptr;
        if (!column) {
            log.error("there has no list stack view in containerStackView");
            return;
        }
        for (const auto& group : columns[i]) {
            const auto found = groupViews.find(group);
            if (found == groupViews.end() || !found->second) {
                log.error("cannot find the group saved ->", std::string(group.rawValue()));
                continue;
            }
            VDCheatSheetGroup* view = found->second;
            if (view->parentWidget() == column) {
                log.debug("the group saved has not super view, or in correct list already");
                continue;
            }
            log.debug("add group " + std::string(group.rawValue()) + " to list " + std::to_string(i));
            if (auto* from = qobject_cast<StackView*>(view->parentWidget())) from->boxLayout()->removeWidget(view);
            column->addArrangedSubview(view);
        }
    }
}

void changeColumnCount(StackView& container, const CheatSheetColumns& columns, const GroupViews& groupViews,
                       const std::vector<int>& listWidths)
{
    const int current = listStackSubviewCount(container);
    const int wanted = static_cast<int>(columns.size());
    log.debug("groupsOfListToDisplay.count, containerStackView.subviews.count ->",
              std::vector<int>{wanted, static_cast<int>(container.arrangedSubviews().size())});
    auto removeLastIf = [&container](auto isKind) {
        auto views = container.arrangedSubviews();
        if (views.empty() || !isKind(views.back())) return false;
        container.boxLayout()->removeWidget(views.back());
        delete views.back();
        return true;
    };
    auto isSeparator = [](QWidget* v) { return qobject_cast<VDCheatSheetSeparator*>(v) != nullptr; };
    auto isColumn = [](QWidget* v) { return qobject_cast<VDCheatSheetListStack*>(v) != nullptr; };
    if (wanted < current) {
        rearrangementGroupStackViews(container, columns, groupViews);
        for (int n = 0; n < current - wanted; ++n) {
            while (removeLastIf(isSeparator)) {
            }
            removeLastIf(isColumn);
            while (removeLastIf(isSeparator)) {
            }
        }
    } else if (wanted > current) {
        // New columns are as wide as the drawn ones, which the drawing fitted to the scheme's texts.
        const auto* drawn = container.findChild<VDCheatSheetListStack*>(QString(), Qt::FindDirectChildrenOnly);
        for (int n = 0; n < wanted - current; ++n) {
            if (current + n > 0) addSeparator(container);
            auto* column = ViewComponentized::create<VDCheatSheetListStack>(&container);
            if (drawn) column->setFixedWidth(drawn->minimumWidth());
        }
        rearrangementGroupStackViews(container, columns, groupViews);
    }
    std::size_t c = 0;
    for (QWidget* view : container.arrangedSubviews())
        if (auto* column = qobject_cast<VDCheatSheetListStack*>(view); column && c < listWidths.size())
            column->setFixedWidth(listWidths[c++]);
}

}  // namespace vandrel
