// The script side of the keyboard map: the map's scripts run as written in a JavaScript engine whose
// globals drive a KeyboardMapView.
//
//   map (also window.map)   btnDown(id), btnUp(id), turnoffAll(), turnonBtn([ids])
//   $(selector).css({...})  only '#content' with {'transform': 'scale(<number>)'} does anything
//
//   KeyboardMapPage page(view);
//   page.evaluate("map.btnDown('capslock');map.btnDown(\"A\");");   // caps and A light up
//
// A script that fails is logged and has no further effect. Main thread only.
#pragma once

#include <QJSEngine>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <string>

#include "ui/overlays/keyboard_map_view.h"

namespace vandrel {

class KeyboardMapPage : public QObject {
    Q_OBJECT
public:
    explicit KeyboardMapPage(KeyboardMapView* view);

    // Runs the script; true when it ran without an error.
    bool evaluate(const std::string& script);
    int evaluatedScripts() const { return evaluated_; }
    KeyboardMapView* view() const { return view_; }

    Q_INVOKABLE void btnDown(const QString& id);
    Q_INVOKABLE void btnUp(const QString& id);
    Q_INVOKABLE void turnoffAll();
    Q_INVOKABLE void turnonBtn(const QJSValue& ids);
    Q_INVOKABLE void css(const QString& selector, const QVariantMap& properties);

private:
    QPointer<KeyboardMapView> view_;
    QJSEngine engine_;
    int evaluated_ = 0;
};

}  // namespace vandrel
