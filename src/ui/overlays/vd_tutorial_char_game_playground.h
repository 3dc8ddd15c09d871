// A read-only text view for a practice page: its text is a maze drawn with box-drawing characters and the
// user moves the caret through it with the Caps movement keys. It refuses every edit and every click.
// While its maze lock is on, a caret move takes effect only when Caps is held and the move neither crosses
// a vertical wall (U+2502), nor ends beside a horizontal wall (U+2500), nor wraps to another line. After
// every accepted move it publishes the characters on both sides of the caret.
//
// No window of the program shows it; a host sets the maze text and switches the lock on. Main thread only.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <functional>
#include <string>

#include "model/vd_action.h"
#include "rx/rx.h"
#include "ui/base/view_componentized.h"

namespace vandrel {

// A selection as (location, length) in UTF-16 code units of the text.
struct TextRange {
    int location = 0;
    int length = 0;
    bool operator==(const TextRange&) const = default;
};

struct MazeMoveVerdict {
    bool accepted = false;
    // The characters left and right of the proposed location (empty at the text's ends).
    QString left;
    QString right;
};

// The move filter: whether the caret may go from oldRange to proposed in text.
//   unlocked: every move; locked: Caps held and none of the wall and wrap rules refusing it. The last
//   action the engine ran tells the direction: only an up, down or left move may end with a vertical wall
//   on its left, only an up, down or right move with one on its right.
MazeMoveVerdict filterMazeMove(const QString& text, TextRange oldRange, TextRange proposed, bool isMazeLocked,
                               bool isCapsDown, const VDActionPtr& lastExecAction);

class VDTutorialCharGamePlayground : public QPlainTextEdit, public ViewComponentized {
    Q_OBJECT
public:
    struct Dependencies {
        // Caps is held now (the engine state). Null: never.
        std::function<bool()> isCapsDown;
        // The action the engine ran last. Null: none.
        std::function<VDActionPtr()> lastExecAction;
    };

    explicit VDTutorialCharGamePlayground(Dependencies dependencies = {});
    void initConstraints() override {}

    bool isMazeLocked = false;
    const rx::BehaviorRelay<std::string> charCursorLeft{std::string()};
    const rx::BehaviorRelay<std::string> charCursorRight{std::string()};
    const rx::BehaviorRelay<std::string> charsBesideCursor{std::string()};

    TextRange selectedRange() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void selectionChanged();

    const Dependencies deps_;
    TextRange accepted_;
    int acceptedAnchor_ = 0;
    int acceptedPosition_ = 0;
    bool restoring_ = false;
};

}  // namespace vandrel
