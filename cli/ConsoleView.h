// ConsoleView: the engine's view on a console. The job runs on its worker thread; the
// main thread sits in serviceJob, where it redraws the status line, answers questions
// that need the terminal and turns a stop signal into the Stop button's command.
#pragma once

#include "engine/EngineView.h"
#include "engine/ExtractThread.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

class ConsoleView : public EngineView {
public:
    struct Behaviour {
        bool yes = false;         // answer every question with its first button
        bool askTerminal = false; // standard input is a terminal: ask there
        bool statusLine = false;  // standard error is a terminal: redraw one line
        bool quiet = false;
        // Every mailbox is carved (--rescue); otherwise only one whose index is damaged.
        bool rescueAll = false;
    };

    explicit ConsoleView(Behaviour behaviour) : behaviour_(behaviour) {}

    // The settings of the next job; the list stays owned by the caller.
    void setJob(ExtractThread* job, MailboxList* list, const TOVK_Utils::String& store,
                bool emlFolders);
    void setFolders(const TOVK_Utils::String& extract, const TOVK_Utils::String& backup,
                    bool createBackups, bool cut);
    void setChoices(const ExtractChoices& choices) { choices_ = choices; }

    // Main thread: starts the job on its worker and serves it until its body returned.
    // False when the worker could not be started.
    bool runJob();
    // Whether the job was stopped (by a signal) before it was over.
    bool stoppedByUser() const { return stoppedBeforeDone_; }

    // A question answered on the terminal (main thread); Ctrl-C and the end of input
    // give the last, cancelling, button.
    int askOnTerminal(const QuestionText& text);
    // Lines on the console; the status line is taken away first and drawn again later.
    void printOut(const std::string& line);
    void printErr(const std::string& line);
    void endStatusLine();

    // EngineView
    const TOVK_Utils::String& extractFolder() override { return extract_; }
    const TOVK_Utils::String& backupFolder() override { return backup_; }
    bool createBackups() override { return createBackups_; }
    bool cutAttachments() override { return cut_; }
    const TOVK_Utils::String& outlookExpressStoreRoot() override { return store_; }
    bool listShowsEmlFolders() override { return emlFolders_; }
    const ExtractChoices& choices() override { return choices_; }
    Rescue rescue() override { return behaviour_.rescueAll ? Rescue::Always : Rescue::WhenDamaged; }
    // Answering every question unasked must never replace the only copy of an original.
    OldBackups oldBackups() override {
        return behaviour_.yes ? OldBackups::KeepBeside : OldBackups::AskToReplace;
    }
    MailboxList& mailboxList() override;
    int ask(ViewOwner owner, const QuestionText& text) override;
    std::unique_ptr<ViewQuestion> newQuestion() override;
    void setStatusText(const TOVK_Utils::Block& text) override;
    void postStatusText(const TOVK_Utils::Block& text) override;
    void postCounterText(ViewCounter counter, const TOVK_Utils::String& text) override;
    void setProgressRange(int low, int high) override;
    void setProgress(int value) override;
    void enablePauseButton(bool) override {}
    void reportProblem(const TOVK_Utils::Block& text) override;
    void jobFinished(const JobCounts& counts) override;
    void postClose() override;

private:
    void statusChanged(const TOVK_Utils::Block& text);
    void print(FILE* stream, const std::string& line);
    void clearStatusLineLocked();
    void drawStatusLine();
    void serviceStopSignal();

    Behaviour behaviour_;
    ExtractChoices choices_;
    ExtractThread* job_ = nullptr;
    MailboxList* list_ = nullptr;
    TOVK_Utils::String extract_, backup_, store_;
    bool createBackups_ = false, cut_ = false, emlFolders_ = false;

    // Guards everything the two threads share below, and the console output.
    std::mutex mutex_;
    std::condition_variable changed_;
    const QuestionText* pending_ = nullptr; // a question waiting for the terminal
    int answer_ = 0;
    bool closed_ = false;
    bool dirty_ = false;
    std::string status_;
    std::string counters_[6];
    int high_ = 0, position_ = 0;
    size_t drawnWidth_ = 0; // characters of the status line now on the screen

    std::atomic<bool> jobReady_{false}; // the job has emptied its queue: a stop stays
    bool stopPosted_ = false;
    bool stoppedBeforeDone_ = false;
};
