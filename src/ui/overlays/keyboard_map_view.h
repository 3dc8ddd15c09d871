// The keyboard of the keyboard map, drawn in code: one rectangle per key from a fixed layout table (a US
// keyboard with the arrow keys), each key off, marked (a key of the Caps layer's base editing set) or
// pressed, the whole drawing scaled.
//
// Keys are named by ids: "capslock", "shift", "ctrl", "opt", "cmd", the letters and digits, and the key
// names of the key model in lower case ("enter", "space", "backspace", "left", "f5", "\\", "/", ...). Ids
// match without regard to case ("w" and "W" are one key); an id of no key is ignored.
#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>
#include <set>
#include <string>
#include <vector>

namespace vandrel {

struct KeyboardMapKey {
    QString id;     // lower case
    QString label;  // what the key shows
    QRectF rect;    // in key units (1 = one letter key, gaps included)
};

class KeyboardMapView : public QWidget {
    Q_OBJECT
public:
    // Pixels of one key unit at scale 1.
    static constexpr double unitPixels = 56;

    explicit KeyboardMapView(QWidget* parent = nullptr);

    static const std::vector<KeyboardMapKey>& layout();
    // The key of an id (any case), or null.
    static const KeyboardMapKey* keyOf(const QString& id);

    void btnDown(const QString& id);
    void btnUp(const QString& id);
    void turnoffAll();
    void turnonBtn(const std::vector<QString>& ids);
    void setScale(double scale);
    double scale() const { return scale_; }

    bool isPressed(const QString& id) const;
    bool isMarked(const QString& id) const;
    // Ids of the pressed keys, in lower case.
    const std::set<QString>& pressed() const { return pressed_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::set<QString> pressed_;
    std::set<QString> marked_;
    double scale_ = 1.0;
};

}  // namespace vandrel
