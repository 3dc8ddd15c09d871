// A status item for tests: records the images it was given and keeps the menu.
#pragma once

#include <QMenu>
#include <QPointer>
#include <string>
#include <vector>

#include "app/status_item.h"

namespace vandrel::test {

class RecordingStatusItem final : public StatusItem {
public:
    struct Record {
        std::vector<std::string> images;
        QPointer<QMenu> menu;
    };

    explicit RecordingStatusItem(Record& record) : record_(record) {}
    void setImage(const std::string& name) override { record_.images.push_back(name); }
    void setMenu(QMenu* menu) override { record_.menu = menu; }

private:
    Record& record_;
};

}  // namespace vandrel::test
