// A scripted engine view for whole-job tests: it answers questions from a script,
// records every text, counter and progress value with the thread it came from, and can
// press Pause and Stop at chosen points.
#pragma once

#include "engine/CommandQueue.h"
#include "engine/EngineView.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A text as UTF-8, so that names outside the 8-bit code page can be compared.
inline std::string text(const TOVK_Utils::Block& block) {
    TOVK_Utils::String narrow;
    narrow.toNarrow(block, 65001);
    return narrow.length() ? std::string(narrow.c_str(), size_t(narrow.length())) : std::string();
}

struct ScriptedList : MailboxList {
    struct Row {
        std::string text;
        bool checked;
    };
    std::vector<Row> rows;

    int nextChecked(int after) override {
        for (size_t i = size_t(after + 1); i < rows.size(); ++i)
            if (rows[i].checked)
                return int(i);
        return -1;
    }
    void itemText(TOVK_Utils::Block& out, int row, int, bool wide) override {
        TOVK_Utils::String narrow(rows.at(size_t(row)).text.c_str());
        TOVK_Utils::String result;
        if (wide)
            result.toWide(narrow);
        else
            result.toNarrow(narrow);
        out.assign(result);
    }
    void removeAll() override { rows.clear(); }
    int appendItem(const TOVK_Utils::Block& t, intptr_t) override {
        rows.push_back({text(t), false});
        return int(rows.size()) - 1;
    }
    void setItemText(const TOVK_Utils::Block& t, int row, int) override {
        rows.at(size_t(row)).text = text(t);
    }
};

class ScriptedView : public EngineView {
public:
    struct Asked {
        ViewOwner owner;
        std::string title, message, caption1, caption2, checkText;
        int sizeCode;
        std::thread::id thread;
    };
    struct Event {
        // "set", "post", "finished", "problem", "range", "progress", "pause", "close"
        std::string kind;
        std::string text;
        int value;
        std::thread::id thread;
    };
    struct Answer {
        int button;
        bool checked;
    };

    TOVK_Utils::String extract, backup, store;
    bool backups = false, cut = false, emlFolders = false;
    ExtractChoices chosen;
    ScriptedList list;
    std::deque<Answer> answers; // empty: the first button
    std::vector<Asked> asked;
    std::vector<Event> events;
    std::map<ViewCounter, std::string> counters;
    // Called after each recorded event, to press buttons at chosen points.
    std::function<void(const Event&)> onEvent;
    bool pressDone = true;
    OldBackups old = OldBackups::AskToReplace;
    Rescue rescueChoice = Rescue::Ask;
    JobCounts finishedCounts;

    const TOVK_Utils::String& extractFolder() override { return extract; }
    const TOVK_Utils::String& backupFolder() override { return backup; }
    bool createBackups() override { return backups; }
    bool cutAttachments() override { return cut; }
    const TOVK_Utils::String& outlookExpressStoreRoot() override { return store; }
    bool listShowsEmlFolders() override { return emlFolders; }
    OldBackups oldBackups() override { return old; }
    Rescue rescue() override { return rescueChoice; }
    const ExtractChoices& choices() override { return chosen; }
    MailboxList& mailboxList() override { return list; }

    int ask(ViewOwner owner, const QuestionText& q) override { return answer(owner, q).button; }

    std::unique_ptr<ViewQuestion> newQuestion() override {
        struct Box : ViewQuestion {
            explicit Box(ScriptedView& v) : view(v) {}
            int showModal(ViewOwner owner, const QuestionText& q) override {
                const Answer a = view.answer(owner, q);
                checked = q.checkText && a.checked;
                return a.button;
            }
            bool checkState() const override { return checked; }
            ScriptedView& view;
            bool checked = false;
        };
        return std::make_unique<Box>(*this);
    }

    void setStatusText(const TOVK_Utils::Block& t) override { record("set", text(t)); }
    void postStatusText(const TOVK_Utils::Block& t) override { record("post", text(t)); }
    void postCounterText(ViewCounter counter, const TOVK_Utils::String& t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        counters[counter] = text(t);
    }
    void setProgressRange(int, int high) override { record("range", "", high); }
    void setProgress(int value) override { record("progress", "", value); }
    void enablePauseButton(bool enable) override { record("pause", "", enable); }
    void reportProblem(const TOVK_Utils::Block& t) override { record("problem", text(t)); }
    // The job is over. The user presses "Done" at once (unless pressDone is false), and
    // the progress window closes as the desktop program's does.
    void jobFinished(const JobCounts& c) override {
        record("finished", "");
        finishedCounts = c;
        if (pressDone)
            record("close", "");
    }
    void postClose() override { record("close", ""); }

    std::vector<std::string> texts(const std::string& kind) {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.kind == kind)
                out.push_back(e.text);
        return out;
    }
    int count(const std::string& kind) {
        int n = 0;
        for (const auto& e : events)
            n += e.kind == kind;
        return n;
    }
    std::vector<std::string> titlesAsked() {
        std::vector<std::string> out;
        for (const auto& a : asked)
            out.push_back(a.title + ": " + a.message);
        return out;
    }

private:
    Answer answer(ViewOwner owner, const QuestionText& q) {
        auto c = [](const char* s) { return s ? std::string(s) : std::string(); };
        asked.push_back({owner, q.title, text(*q.message), c(q.caption1), c(q.caption2),
                         c(q.checkText), q.sizeCode, std::this_thread::get_id()});
        if (answers.empty())
            return {1, false};
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void record(const char* kind, std::string t, int value = 0) {
        Event e{kind, std::move(t), value, std::this_thread::get_id()};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events.push_back(e);
        }
        if (onEvent)
            onEvent(e);
    }
    std::mutex mutex_;
};
