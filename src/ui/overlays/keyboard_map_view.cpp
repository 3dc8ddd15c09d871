#include "ui/overlays/keyboard_map_view.h"

#include <QPainter>
#include <QPainterPath>
#include <optional>

#include "core/log.h"

namespace vandrel {

namespace {

constexpr double kMargin = 0.25;  // around the keyboard, in key units
constexpr double kGap = 0.08;     // between neighbouring keys, in key units

struct Row {
    double y;
    std::vector<std::tuple<const char*, const char*, double>> keys;  // id, label, width; an empty id is a gap
};

std::vector<KeyboardMapKey> buildLayout()
{
    const std::vector<Row> rows{
        {0,
         {{"esc", "esc", 1},
          {"", "", 0.5},
          {"f1", "F1", 1},
          {"f2", "F2", 1},
          {"f3", "F3", 1},
          {"f4", "F4", 1},
          {"", "", 0.5},
          {"f5", "F5", 1},
          {"f6", "F6", 1},
          {"f7", "F7", 1},
          {"f8", "F8", 1},
          {"", "", 0.5},
          {"f9", "F9", 1},
          {"f10", "F10", 1},
          {"f11", "F11", 1},
          {"f12", "F12", 1}}},
        {1.25,
         {{"`", "`", 1},
          {"1", "1", 1},
          {"2", "2", 1},
          {"3", "3", 1},
          {"4", "4", 1},
          {"5", "5", 1},
          {"6", "6", 1},
          {"7", "7", 1},
          {"8", "8", 1},
          {"9", "9", 1},
          {"0", "0", 1},
          {"-", "-", 1},
          {"=", "=", 1},
          {"backspace", "⌫", 2}}},
        {2.25,
         {{"tab", "tab", 1.5},
          {"q", "Q", 1},
          {"w", "W", 1},
          {"e", "E", 1},
          {"r", "R", 1},
          {"t", "T", 1},
          {"y", "Y", 1},
          {"u", "U", 1},
          {"i", "I", 1},
          {"o", "O", 1},
          {"p", "P", 1},
          {"[", "[", 1},
          {"]", "]", 1},
          {"\\", "\\", 1.5}}},
        {3.25,
         {{"capslock", "Caps Lock", 1.75},
          {"a", "A", 1},
          {"s", "S", 1},
          {"d", "D", 1},
          {"f", "F", 1},
          {"g", "G", 1},
          {"h", "H", 1},
          {"j", "J", 1},
          {"k", "K", 1},
          {"l", "L", 1},
          {";", ";", 1},
          {"'", "'", 1},
          {"enter", "↩", 2.25}}},
        {4.25,
         {{"shift", "Shift", 2.25},
          {"z", "Z", 1},
          {"x", "X", 1},
          {"c", "C", 1},
          {"v", "V", 1},
          {"b", "B", 1},
          {"n", "N", 1},
          {"m", "M", 1},
          {",", ",", 1},
          {".", ".", 1},
          {"/", "/", 1},
          {"right shift", "Shift", 2.75}}},
        {5.25,
         // A PC keyboard's bottom row; the ids stay the names the page's scripts know the keys by.
         {{"ctrl", "Ctrl", 1.25},
          {"cmd", "Super", 1.25},
          {"opt", "Alt", 1.25},
          {"space", "Space", 5},
          {"right option", "AltGr", 1.25},
          {"menu", "Menu", 1.25},
          {"right control", "Ctrl", 1.25},
          {"", "", 0.25},
          {"left", "←", 1},
          {"down", "↓", 1},
          {"right", "→", 1}}},
    };
    std::vector<KeyboardMapKey> keys;
    for (const auto& row : rows) {
        double x = 0;
        for (const auto& [id, label, width] : row.keys) {
            if (*id) keys.push_back({QString::fromUtf8(id), QString::fromUtf8(label), QRectF(x, row.y, width, 1)});
            x += width;
        }
    }
    // The up arrow stands above the down arrow, in half height as on compact keyboards; down shares its row.
    std::optional<KeyboardMapKey> upKey;
    for (auto& key : keys) {
        if (key.id == "down" || key.id == "left" || key.id == "right") key.rect.setTop(5.75);
        if (key.id == "down") upKey = KeyboardMapKey{"up", "↑", QRectF(key.rect.x(), 5.25, 1, 0.5)};
    }
    if (upKey) keys.push_back(*upKey);
    return keys;
}

QRectF keyboardBounds()
{
    QRectF bounds;
    for (const auto& key : KeyboardMapView::layout()) bounds = bounds.united(key.rect);
    return bounds.adjusted(-kMargin, -kMargin, kMargin, kMargin);
}

}  // namespace

KeyboardMapView::KeyboardMapView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

const std::vector<KeyboardMapKey>& KeyboardMapView::layout()
{
    static const auto keys = buildLayout();
    return keys;
}

const KeyboardMapKey* KeyboardMapView::keyOf(const QString& id)
{
    const QString lower = id.toLower();
    for (const auto& key : layout())
        if (key.id == lower) return &key;
    return nullptr;
}

void KeyboardMapView::btnDown(const QString& id)
{
    const auto* key = keyOf(id);
    if (!key) {
        log.debug("keyboard map: no key of the id ->", id.toStdString());
        return;
    }
    if (pressed_.insert(key->id).second) update();
}

void KeyboardMapView::btnUp(const QString& id)
{
    const auto* key = keyOf(id);
    if (key && pressed_.erase(key->id)) update();
}

void KeyboardMapView::turnoffAll()
{
    pressed_.clear();
    marked_.clear();
    update();
}

void KeyboardMapView::turnonBtn(const std::vector<QString>& ids)
{
    for (const auto& id : ids)
        if (const auto* key = keyOf(id)) marked_.insert(key->id);
    update();
}

void KeyboardMapView::setScale(double scale)
{
    if (!(scale > 0) || scale > 10) {
        log.warning("keyboard map: scale out of range, ignored ->", scale);
        return;
    }
    scale_ = scale;
    updateGeometry();
    adjustSize();
    update();
}

bool KeyboardMapView::isPressed(const QString& id) const
{
    const auto* key = keyOf(id);
    return key && pressed_.count(key->id);
}

bool KeyboardMapView::isMarked(const QString& id) const
{
    const auto* key = keyOf(id);
    return key && marked_.count(key->id);
}

QSize KeyboardMapView::sizeHint() const
{
    const QRectF bounds = keyboardBounds();
    return (bounds.size() * unitPixels * scale_).toSize();
}

void KeyboardMapView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = keyboardBounds();
    const double unit = unitPixels * scale_;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 20, 24, 235));
    painter.drawRoundedRect(QRectF(QPointF(0, 0), bounds.size() * unit), 10 * scale_, 10 * scale_);

    QFont font = painter.font();
    font.setPixelSize(std::max(8, int(16 * scale_)));
    painter.setFont(font);
    for (const auto& key : layout()) {
        const QRectF r((key.rect.x() - bounds.x() + kGap / 2) * unit, (key.rect.y() - bounds.y() + kGap / 2) * unit,
                       (key.rect.width() - kGap) * unit, (key.rect.height() - kGap) * unit);
        const bool down = pressed_.count(key.id) > 0;
        const bool mark = marked_.count(key.id) > 0;
        QColor fill = down ? QColor(255, 166, 0) : mark ? QColor(70, 130, 200) : QColor(92, 92, 100);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(r, 5 * scale_, 5 * scale_);
        painter.setPen(down ? QColor(20, 20, 20) : QColor(235, 235, 235));
        painter.drawText(r, Qt::AlignCenter, key.label);
    }
}

}  // namespace vandrel
