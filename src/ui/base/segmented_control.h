// A row of joined push segments, each showing an image. Segments are momentary: pressing one emits
// segmentClicked and leaves nothing selected.
#pragma once

#include <QIcon>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <vector>

namespace vandrel {

class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    // The standard add/remove pair: segment 0 adds, segment 1 removes, each 31 pixels wide. No handler is
    // connected; the caller connects segmentClicked.
    static std::unique_ptr<SegmentedControl> createAddAndRemoveButtons();

    // Appends a segment showing icon (or text where the icon theme has none) with the given width.
    int addSegment(const QIcon& icon, const QString& fallbackText, int width);
    int segmentCount() const { return static_cast<int>(segments_.size()); }
    QToolButton* segment(int index) const;

signals:
    void segmentClicked(int index);

private:
    std::vector<QToolButton*> segments_;  // owned by this widget as Qt children
};

}  // namespace vandrel
