// DesktopView: the extraction job's view of the desktop program. The job runs on its
// worker thread; every call here comes from that thread and reaches the windows of the
// interface thread: texts posted or sent to the progress window's labels, the progress
// bar and the buttons set by sent messages (so the worker waits until they are taken),
// and question boxes created on the worker thread itself, which pumps them.
#pragma once

#include "engine/EngineView.h"

class AppData;

class DesktopView : public EngineView {
public:
    explicit DesktopView(AppData& data) : data_(data) {}

    const TOVK_Utils::String& extractFolder() override;
    const TOVK_Utils::String& backupFolder() override;
    bool createBackups() override;
    bool cutAttachments() override;
    const TOVK_Utils::String& outlookExpressStoreRoot() override;
    bool listShowsEmlFolders() override;
    // A mailbox found corrupt while counting: the box that says so asks whether to
    // recover its attachments.
    Rescue rescue() override { return Rescue::Ask; }
    OldBackups oldBackups() override { return OldBackups::AskToReplace; }
    // The settings' choices, taken when the job asks (at its start).
    const ExtractChoices& choices() override;
    MailboxList& mailboxList() override;

    int ask(ViewOwner owner, const QuestionText& text) override;
    std::unique_ptr<ViewQuestion> newQuestion() override;

    void setStatusText(const TOVK_Utils::Block& text) override;
    void postStatusText(const TOVK_Utils::Block& text) override;
    void postCounterText(ViewCounter counter, const TOVK_Utils::String& text) override;
    void setProgressRange(int low, int high) override;
    void setProgress(int value) override;
    void enablePauseButton(bool enable) override;
    void reportProblem(const TOVK_Utils::Block&) override {}
    void jobFinished(const JobCounts& counts) override;
    void postClose() override;

private:
    AppData& data_;
    ExtractChoices choices_;
};
