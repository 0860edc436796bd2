// ProgressWindow: the window that exists while an extraction job runs. It starts the
// job's worker thread once its children exist, shows what the job posts, and offers
// Pause and Stop. The user cannot close it: once the job is over its Stop button reads
// "Done", and pressing that closes it (a job that ends without its final state, after a
// failed backup, closes it at once).
#pragma once

#include "napp/Button.h"
#include "napp/ProgressBar.h"
#include "napp/Static2.h"
#include "napp/Window.h"

#include <atomic>

class AppData;

class ProgressWindow : public NApp::Window {
public:
    static constexpr int CounterCount = 6;

    bool canClose() override { return false; }
    void createChildren() override;
    void childClicked(HWND child) override;
    // Worker thread: the job is over. Pause is disabled by then; Stop becomes "Done".
    void showDone();

    NApp::Static2 statusLine;
    NApp::ProgressBar progressBar;
    NApp::Static2 captions[CounterCount];
    // In the order of the job's counters: mailboxes, e-mails, attachments, encoded and
    // decoded megabytes, attachments skipped by the user's choices.
    NApp::Static2 values[CounterCount];
    NApp::Button pauseButton;
    NApp::Button stopButton;

    AppData* data = nullptr;

private:
    void startJob();
    // The window's own record of the presses: the worker takes a press only before its
    // next message, so its state cannot tell what the button should read meanwhile.
    bool paused_ = false;
    // Set by the worker before "Done" is shown, read when the button is pressed.
    std::atomic<bool> done_{false};
};
