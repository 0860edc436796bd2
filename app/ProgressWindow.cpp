#include "app/ProgressWindow.h"

#include "app/AppData.h"
#include "napp/Question.h"

using NApp::LayoutBox;
using TOVK_Utils::String;

void ProgressWindow::createChildren() {
    static const char* const captionTexts[CounterCount] = {
        "Mailboxes:", "Emails:", "Attachments:", "- Encoded:", "- Decoded:", "Skipped:"};
    addProgressBar(progressBar, NApp::Orientation::Horizontal);
    addLabel(statusLine, String(""));
    for (int i = 0; i < CounterCount; ++i)
        addLabel(captions[i], String(captionTexts[i]));
    for (NApp::Static2& value : values)
        addLabel(value, String(""));
    addButton(pauseButton, String("Pause"));
    addButton(stopButton, String("Stop"));

    layout.setSpacing(5);
    layout.setDirection(LayoutBox::Down);
    layout.addWindow(&statusLine, 5, 600, 0);
    layout.addWindow(&progressBar, 5, 600, 20);
    LayoutBox* counters = layout.addRow(5, -100, 0);
    LayoutBox* captionColumn = counters->addColumn(4, 0, 0);
    for (NApp::Static2& caption : captions)
        captionColumn->addWindow(&caption, 6, 0, 0);
    LayoutBox* valueColumn = counters->addColumn(4, -100, 0);
    for (NApp::Static2& value : values)
        valueColumn->addWindow(&value, 4, -100, 0);
    LayoutBox* buttons = layout.addRow(5, 0, 0);
    buttons->addWindow(&pauseButton, 5, 0, 0);
    buttons->addWindow(&stopButton, 5, 0, 0);
    fitToContent();
    startJob();
}

void ProgressWindow::startJob() {
    AppData& d = checkedAppData(data);
    // The previous job's body may still be returning after it closed its window, and
    // its thread closes the handle it was given: let it finish before the next start.
    if (d.jobStarted)
        d.job.join();
    d.job.finished().reset();
    paused_ = false;
    done_ = false;
    d.job.beginRun(); // each job of the desktop program makes its own backups
    if (d.job.start(0x10000, 0) == TOVK_Utils::Thread2::StartFailed) {
        // Without a worker nothing would ever close this window.
        NApp::Question::ask(this, String("Error"),
                            String("The extraction could not be started: the system refused "
                                   "to create its thread."),
                            "Ok", nullptr, nullptr, nullptr, nullptr, 1);
        d.job.finished().set();
        destroy();
        return;
    }
    d.jobStarted = true;
}

void ProgressWindow::childClicked(HWND child) {
    AppData& d = checkedAppData(data);
    if (child == pauseButton.handle) {
        // The label shows what the next press will do.
        paused_ = !paused_;
        pauseButton.setText(String(paused_ ? "Start" : "Pause"));
        d.job.commandQueue().postCommand(CommandQueue::togglePause);
    } else if (child == stopButton.handle) {
        if (done_)
            postClose();
        else
            d.job.commandQueue().postCommand(CommandQueue::stop);
    }
}

void ProgressWindow::showDone() {
    done_ = true;
    stopButton.setText(String("Done"));
}
