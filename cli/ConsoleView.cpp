#include "cli/ConsoleView.h"

#include "cli/ConsoleSystem.h"
#include "utils/Fatal.h"

#include <chrono>
#include <cstring>

using TOVK_Utils::Block;
using TOVK_Utils::String;

namespace {

std::string narrowText(const Block& text) {
    String narrow;
    narrow.toNarrow(text);
    return narrow.length() ? std::string(narrow.c_str(), size_t(narrow.length())) : std::string();
}

int buttonCount(const QuestionText& text) {
    int n = 1;
    for (const char* caption : {text.caption2, text.caption3, text.caption4})
        if (caption)
            ++n;
    return n;
}

const char* caption(const QuestionText& text, int button) {
    const char* captions[] = {text.caption1, text.caption2, text.caption3, text.caption4};
    return captions[button - 1];
}

// Per-message texts change hundreds of times a second; without a terminal to redraw on
// they would bury everything else, so only the others become lines.
bool isPerMessageText(const std::string& text) {
    return text.rfind("Processing message ", 0) == 0;
}

// Cuts a UTF-8 text to at most width bytes without splitting a character.
void fitWidth(std::string& line, size_t width) {
    if (line.size() <= width)
        return;
    size_t end = width;
    while (end > 0 && (uint8_t(line[end]) & 0xC0) == 0x80)
        --end;
    line.resize(end);
}

} // namespace

void ConsoleView::setJob(ExtractThread* job, MailboxList* list, const String& store,
                         bool emlFolders) {
    job_ = job;
    list_ = list;
    store_ = store;
    emlFolders_ = emlFolders;
    job_->setView(this);
}

void ConsoleView::setFolders(const String& extract, const String& backup, bool createBackups,
                             bool cut) {
    extract_ = extract;
    backup_ = backup;
    createBackups_ = createBackups;
    cut_ = cut;
}

MailboxList& ConsoleView::mailboxList() {
    if (!list_)
        TOVK_Utils::fatalError("Null pointer");
    return *list_;
}

bool ConsoleView::runJob() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_ = nullptr;
        answer_ = 0;
        closed_ = false;
        high_ = position_ = 0;
        status_.clear();
    }
    jobReady_ = false;
    stopPosted_ = false;
    stoppedBeforeDone_ = false;
    job_->finished().reset();
    // The worker inherits the blocked stop signals, so they always land on this thread.
    ConsoleSystem::blockStopSignals();
    const bool started = job_->start(0, 0) != TOVK_Utils::Thread2::StartFailed;
    ConsoleSystem::unblockStopSignals();
    if (!started)
        return false;
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(100),
                          [&] { return (pending_ && !answer_) || closed_; });
        if (pending_ && !answer_) {
            const QuestionText question = *pending_;
            lock.unlock();
            const int answer = askOnTerminal(question);
            lock.lock();
            answer_ = answer;
            changed_.notify_all();
            continue;
        }
        const bool closed = closed_;
        lock.unlock();
        serviceStopSignal();
        drawStatusLine();
        if (closed)
            break;
    }
    job_->join();
    endStatusLine();
    return true;
}

// The stop command is posted only once the job has emptied its queue at its start, so
// that an early Ctrl-C is not dropped with the commands of an earlier job.
void ConsoleView::serviceStopSignal() {
    if (stopPosted_ || !jobReady_ || !ConsoleSystem::stopSignalled())
        return;
    stopPosted_ = true;
    job_->commandQueue().postCommand(CommandQueue::stop);
    if (!behaviour_.quiet)
        printErr("Stopping after the message in progress.");
}

int ConsoleView::askOnTerminal(const QuestionText& text) {
    const int buttons = buttonCount(text);
    printErr(std::string(text.title) + ": " + narrowText(*text.message));
    for (;;) {
        std::string prompt;
        for (int b = 1; b <= buttons; ++b)
            prompt += "  " + std::to_string(b) + ") " + caption(text, b) + "\n";
        prompt += "Choose 1-" + std::to_string(buttons) + ": ";
        {
            std::lock_guard<std::mutex> lock(mutex_);
            clearStatusLineLocked();
            std::fputs(prompt.c_str(), stderr);
            std::fflush(stderr);
        }
        std::string line;
        if (!ConsoleSystem::readLine(line)) {
            // Ctrl-C here means "cancel this", not "stop after the next message".
            ConsoleSystem::clearStopSignal();
            printErr("");
            printErr(std::string("Answered: ") + caption(text, buttons));
            return buttons;
        }
        const int choice = std::atoi(line.c_str());
        if (choice >= 1 && choice <= buttons)
            return choice;
    }
}

int ConsoleView::ask(ViewOwner, const QuestionText& text) {
    const int buttons = buttonCount(text);
    const std::string message = narrowText(*text.message);
    if (buttons == 1) {
        // Error boxes go to standard error with their texts; the final information is
        // part of the normal output.
        if (std::strcmp(text.title, "Information") == 0) {
            if (!behaviour_.quiet)
                printOut(message);
        } else {
            printErr(std::string(text.title) + ": " + message);
        }
        return 1;
    }
    if (behaviour_.yes) {
        if (!behaviour_.quiet)
            printErr(std::string(text.title) + ": " + message + "\nAnswered: " + text.caption1 +
                     " (--yes)");
        return 1;
    }
    if (!behaviour_.askTerminal) {
        printErr(std::string(text.title) + ": " + message +
                 "\nAnswered: " + caption(text, buttons) +
                 " (no terminal to ask on; --yes answers \"" + text.caption1 + "\")");
        return buttons;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    pending_ = &text;
    answer_ = 0;
    changed_.notify_all();
    changed_.wait(lock, [&] { return answer_ != 0; });
    pending_ = nullptr;
    const int answer = answer_;
    answer_ = 0;
    return answer;
}

// The "Don't show me again" box is never offered: every failure is reported.
std::unique_ptr<ViewQuestion> ConsoleView::newQuestion() {
    struct Box : ViewQuestion {
        explicit Box(ConsoleView& v) : view(v) {}
        int showModal(ViewOwner owner, const QuestionText& text) override {
            QuestionText plain = text;
            plain.checkText = nullptr;
            return view.ask(owner, plain);
        }
        bool checkState() const override { return false; }
        ConsoleView& view;
    };
    return std::make_unique<Box>(*this);
}

void ConsoleView::setStatusText(const Block& text) {
    // The job's first text comes after it has emptied its command queue.
    jobReady_ = true;
    statusChanged(text);
}

void ConsoleView::postStatusText(const Block& text) {
    statusChanged(text);
}

void ConsoleView::statusChanged(const Block& text) {
    std::string line = narrowText(text);
    if (!behaviour_.statusLine) {
        if (!behaviour_.quiet && !isPerMessageText(line))
            printErr(line);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = std::move(line);
    dirty_ = true;
}

void ConsoleView::postCounterText(ViewCounter counter, const String& text) {
    std::string line = narrowText(text);
    std::lock_guard<std::mutex> lock(mutex_);
    counters_[int(counter)] = std::move(line);
    dirty_ = true;
}

void ConsoleView::setProgressRange(int, int high) {
    std::lock_guard<std::mutex> lock(mutex_);
    high_ = high;
    dirty_ = true;
}

void ConsoleView::setProgress(int value) {
    std::lock_guard<std::mutex> lock(mutex_);
    position_ = value;
    dirty_ = true;
}

// Printed even when quiet: the user must be able to tell what was left undone.
void ConsoleView::reportProblem(const Block& text) {
    printErr("klovin-extract: " + narrowText(text));
}

// Nobody is there to press "Done": the job being over, its serving ends as when the
// progress window closes.
void ConsoleView::jobFinished(const JobCounts&) {
    stoppedBeforeDone_ = job_->stopRequested();
    postClose();
}

void ConsoleView::postClose() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

void ConsoleView::drawStatusLine() {
    if (!behaviour_.statusLine || behaviour_.quiet)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!dirty_)
        return;
    dirty_ = false;
    const int percent = high_ > 0 ? int(int64_t(position_) * 100 / high_) : 0;
    char head[16];
    std::snprintf(head, sizeof head, "[%3d%%] ", percent);
    std::string line = head + status_;
    auto counter = [&](ViewCounter c) {
        const std::string& t = counters_[int(c)];
        return t.empty() ? std::string("0") : t;
    };
    line += " | Emails: " + counter(ViewCounter::Emails) +
            ", Attachments: " + counter(ViewCounter::Attachments);
    if (!counters_[int(ViewCounter::Decoded)].empty())
        line += " (" + counters_[int(ViewCounter::Decoded)] + ")";
    if (!counters_[int(ViewCounter::Skipped)].empty())
        line += ", Skipped: " + counters_[int(ViewCounter::Skipped)];
    fitWidth(line, size_t(ConsoleSystem::terminalColumns() - 1));
    const size_t width = line.size();
    // Spaces clear what a longer earlier line left behind, on any console.
    if (width < drawnWidth_)
        line.append(drawnWidth_ - width, ' ');
    std::fputc('\r', stderr);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drawnWidth_ = width;
}

void ConsoleView::clearStatusLineLocked() {
    if (drawnWidth_ == 0)
        return;
    std::fputc('\r', stderr);
    std::fputs(std::string(drawnWidth_, ' ').c_str(), stderr);
    std::fputc('\r', stderr);
    drawnWidth_ = 0;
    dirty_ = true; // drawn again at the next tick
}

void ConsoleView::endStatusLine() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (drawnWidth_ > 0) {
        std::fputc('\n', stderr);
        drawnWidth_ = 0;
    }
    std::fflush(stderr);
}

void ConsoleView::print(FILE* stream, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    clearStatusLineLocked();
    // The job's texts end their paragraphs with CR LF; the stream adds its own line ends.
    std::string text = line;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void ConsoleView::printOut(const std::string& line) {
    print(stdout, line);
}

void ConsoleView::printErr(const std::string& line) {
    print(stderr, line);
}
