// The General tab of the older preferences window: start at login (through the login item), automatic
// update checks, beta versions, the version, and a button that checks for updates at once.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "core/login_item_service.h"
#include "rx/disposable.h"

namespace vandrel {

class GeneralViewController : public QWidget {
    Q_OBJECT
public:
    // checkForUpdates: checks at once; empty logs that no update source is configured. loginItem: the one
    // start at login writes; null: the program's own.
    explicit GeneralViewController(std::function<void()> checkForUpdates,
                                   std::shared_ptr<LoginItemService> loginItem = nullptr, QWidget* parent = nullptr);

    bool startAtLogin() const;
    // Registers or removes the login item; the setting changes only when that succeeded.
    void setStartAtLogin(bool on);
    bool isAutoCheckUpdate() const;
    void setIsAutoCheckUpdate(bool on);
    bool isCheckBetaUpdate() const;
    void setIsCheckBetaUpdate(bool on);
    QString currentVersion() const;
    void checkForUpdates();

    QCheckBox* startAtLoginCheckbox() const { return startAtLogin_; }
    QCheckBox* autoCheckCheckbox() const { return autoCheck_; }
    QCheckBox* betaCheckbox() const { return beta_; }

private:
    std::function<void()> checkForUpdates_;
    std::shared_ptr<LoginItemService> loginItem_;
    QCheckBox* startAtLogin_;
    QCheckBox* autoCheck_;
    QCheckBox* beta_;
    rx::DisposeBag bag_;
};

}  // namespace vandrel
