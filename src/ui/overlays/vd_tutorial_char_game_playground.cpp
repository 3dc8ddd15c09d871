#include "ui/overlays/vd_tutorial_char_game_playground.h"

#include <QTextBlock>

#include "catalogue/built_in_vd_action.h"
#include "core/log.h"

namespace vandrel {

namespace {

const QChar kVerticalWall(0x2502);
const QChar kHorizontalWall(0x2500);
const QChar kLineFeed('\n');

QString charAt(const QString& text, int index)
{
    if (index < 0 || index >= text.size()) return {};
    return text.mid(index, 1);
}

bool isOneOf(const VDActionPtr& action, std::initializer_list<const VDActionPtr*> actions)
{
    for (const auto* a : actions)
        if (action && action == *a) return true;
    return false;
}

}  // namespace

MazeMoveVerdict filterMazeMove(const QString& text, TextRange oldRange, TextRange proposed, bool isMazeLocked,
                               bool isCapsDown, const VDActionPtr& lastExecAction)
{
    const QString oldLeft = charAt(text, oldRange.location - 1);
    const QString oldRight = charAt(text, oldRange.location);
    MazeMoveVerdict verdict{false, charAt(text, proposed.location - 1), charAt(text, proposed.location)};
    log.debug("maze move ->", std::vector<int>{oldRange.location, oldRange.length, proposed.location, proposed.length});
    if (!isMazeLocked) {
        verdict.accepted = true;
        return verdict;
    }
    const auto& up = BuiltInVDAction::moveUpN();
    const auto& down = BuiltInVDAction::moveDownN();
    const auto& left = BuiltInVDAction::moveLeftN();
    const auto& right = BuiltInVDAction::moveRightN();
    const bool refused =
        !isCapsDown || (verdict.left == kVerticalWall && !isOneOf(lastExecAction, {&up, &down, &left})) ||
        (verdict.right == kVerticalWall && !isOneOf(lastExecAction, {&up, &down, &right})) ||
        verdict.left == kHorizontalWall || verdict.right == kHorizontalWall ||
        (oldLeft == kLineFeed && verdict.right == kLineFeed) || (oldRight == kLineFeed && verdict.left == kLineFeed);
    verdict.accepted = !refused;
    return verdict;
}

VDTutorialCharGamePlayground::VDTutorialCharGamePlayground(Dependencies dependencies) : deps_(std::move(dependencies))
{
    setReadOnly(true);
    // The caret moves by keys only; nothing is typed, pasted, dropped or selected by the mouse.
    setTextInteractionFlags(Qt::TextSelectableByKeyboard);
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { selectionChanged(); });
    connect(this, &QPlainTextEdit::selectionChanged, this, [this] { selectionChanged(); });
}

TextRange VDTutorialCharGamePlayground::selectedRange() const
{
    const QTextCursor cursor = textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

void VDTutorialCharGamePlayground::selectionChanged()
{
    if (restoring_) return;
    const QTextCursor cursor = textCursor();
    if (cursor.anchor() == acceptedAnchor_ && cursor.position() == acceptedPosition_) return;
    const TextRange proposed = selectedRange();
    const auto verdict =
        filterMazeMove(toPlainText(), accepted_, proposed, isMazeLocked, deps_.isCapsDown && deps_.isCapsDown(),
                       deps_.lastExecAction ? deps_.lastExecAction() : nullptr);
    if (!verdict.accepted) {
        QTextCursor back = textCursor();
        back.setPosition(acceptedAnchor_);
        back.setPosition(acceptedPosition_, QTextCursor::KeepAnchor);
        restoring_ = true;
        setTextCursor(back);
        restoring_ = false;
        return;
    }
    accepted_ = proposed;
    acceptedAnchor_ = cursor.anchor();
    acceptedPosition_ = cursor.position();
    const std::string left = verdict.left.toStdString();
    const std::string right = verdict.right.toStdString();
    charCursorLeft.accept(left);
    charCursorRight.accept(right);
    charsBesideCursor.accept(left + right);
}

void VDTutorialCharGamePlayground::mousePressEvent(QMouseEvent*)
{
    log.debug("mouse down but do nothing");
}

void VDTutorialCharGamePlayground::mouseReleaseEvent(QMouseEvent*) {}

void VDTutorialCharGamePlayground::mouseDoubleClickEvent(QMouseEvent*) {}

void VDTutorialCharGamePlayground::mouseMoveEvent(QMouseEvent*) {}

bool VDTutorialCharGamePlayground::canInsertFromMimeData(const QMimeData*) const
{
    return false;
}

void VDTutorialCharGamePlayground::insertFromMimeData(const QMimeData*) {}

}  // namespace vandrel
