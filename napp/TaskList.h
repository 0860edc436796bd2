// TaskList: the side pane of commands: a bold heading and one link per command. A click
// on a link hands the command's value to onTask.
#pragma once

#include "Font.h"
#include "Hyperlink.h"
#include "Static2.h"
#include "Window.h"

#include <memory>
#include <vector>

namespace NApp {

class TaskList;

class TaskListEntry : public Hyperlink {
public:
    void handleClick() override;

    TaskList* taskList = nullptr;
    int32_t value = 0;
};

class TaskList : public Window {
public:
    TaskList() {
        layout.setDirection(LayoutBox::Down);
        layout.setSpacing(2);
    }

    virtual void onTask(int32_t) {}

    void handleAttached() override;
    TaskListEntry* addTask(const TOVK_Utils::String& text, int32_t value);

    std::vector<std::unique_ptr<TaskListEntry>> entries;
    Static2 heading;
    Font headingFont;
    int32_t entryWidth = 0;
};

} // namespace NApp
