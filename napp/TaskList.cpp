#include "TaskList.h"

#include "utils/Fatal.h"

namespace NApp {

using TOVK_Utils::String;

void TaskListEntry::handleClick() {
    if (!taskList)
        TOVK_Utils::fatalError("Null pointer");
    taskList->onTask(value);
}

void TaskList::handleAttached() {
    Window::handleAttached();
    layout.clearFixedSize();
    addLabel(heading, String("Tasks"));
    heading.setColours(0, 0xFFFFFF, -1);
    headingFont.set(font ? font->face().c_str() : "", (font ? font->size() : 8) + 3);
    heading.setFont(&headingFont);
    heading.setStyle({.bold = true, .underline = true}, Static2::Relayout::Yes);
    layout.addWindow(&heading, 4, 0, 0);
}

TaskListEntry* TaskList::addTask(const String& text, int32_t value) {
    entries.push_back(std::make_unique<TaskListEntry>());
    TaskListEntry* entry = entries.back().get();
    entry->taskList = this;
    entry->value = value;
    addLink(*entry, text, Border::None);
    entry->setTextColour(0xFF0000);
    layout.addWindow(entry, 4, entryWidth, 0);
    return entry;
}

} // namespace NApp
