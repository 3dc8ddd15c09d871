#include "ui/overlays/keyboard_map_page.h"

#include <QRegularExpression>

#include "core/log.h"

namespace vandrel {

KeyboardMapPage::KeyboardMapPage(KeyboardMapView* view) : view_(view)
{
    QJSValue global = engine_.globalObject();
    // Not owned by the engine: the page lives as long as the engine.
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    QJSValue map = engine_.newQObject(this);
    global.setProperty("map", map);
    global.setProperty("window", global);
    global.setProperty("__page", map);
    engine_.evaluate(
        QStringLiteral("function $(selector) {"
                       "  return { css: function (properties) { __page.css(String(selector), properties); } };"
                       "}"));
}

bool KeyboardMapPage::evaluate(const std::string& script)
{
    ++evaluated_;
    const QJSValue result = engine_.evaluate(QString::fromStdString(script));
    if (result.isError()) {
        log.debug("keyboard map script failed ->", result.toString().toStdString() + " in " + script);
        return false;
    }
    return true;
}

void KeyboardMapPage::btnDown(const QString& id)
{
    if (view_) view_->btnDown(id);
}

void KeyboardMapPage::btnUp(const QString& id)
{
    if (view_) view_->btnUp(id);
}

void KeyboardMapPage::turnoffAll()
{
    if (view_) view_->turnoffAll();
}

void KeyboardMapPage::turnonBtn(const QJSValue& ids)
{
    if (!view_ || !ids.isArray()) return;
    std::vector<QString> list;
    const int length = ids.property("length").toInt();
    for (int i = 0; i < length; ++i) list.push_back(ids.property(quint32(i)).toString());
    view_->turnonBtn(list);
}

void KeyboardMapPage::css(const QString& selector, const QVariantMap& properties)
{
    if (!view_ || selector != "#content") return;
    static const QRegularExpression scale(QStringLiteral("^\\s*scale\\(\\s*([0-9]*\\.?[0-9]+)\\s*\\)\\s*$"));
    const auto match = scale.match(properties.value("transform").toString());
    if (match.hasMatch()) view_->setScale(match.captured(1).toDouble());
}

}  // namespace vandrel
