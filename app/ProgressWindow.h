// ProgressWindow: the window that exists while an extraction job runs. It starts the
// job's worker thread once its children exist, shows what the job posts, and offers
// Pause and Stop. The user cannot close it: the job closes it when it has ended.
#pragma once

#include "napp/Button.h"
#include "napp/ProgressBar.h"
#include "napp/Static2.h"
#include "napp/Window.h"

class AppData;

class ProgressWindow : public NApp::Window {
public:
    static constexpr int CounterCount = 5;

    bool canClose() override { return false; }
    void createChildren() override;
    void childClicked(HWND child) override;

    NApp::Static2 statusLine;
    NApp::ProgressBar progressBar;
    NApp::Static2 captions[CounterCount];
    // In the order of the job's counters: mailboxes, e-mails, attachments, encoded and
    // decoded megabytes.
    NApp::Static2 values[CounterCount];
    NApp::Button pauseButton;
    NApp::Button stopButton;

    AppData* data = nullptr;

private:
    void startJob();
    // The window's own record of the presses: the worker takes a press only before its
    // next message, so its state cannot tell what the button should read meanwhile.
    bool paused_ = false;
};
