// EngineView: everything the extraction job touches outside itself. The job runs on its
// worker thread and reads the user's settings and the ticked rows of the mailbox list,
// asks questions, and updates the progress window, all through this one class. The
// desktop program implements it with its windows, klovin-extract with the console, the
// tests with a script.
//
// Blocking rules every implementation keeps:
// - posted texts (postStatusText, postCounterText) never block the worker;
// - the synchronous calls (setStatusText, jobFinished, enablePauseButton,
//   setProgressRange, setProgress) return only after the user interface has taken them;
// - reportProblem never blocks the worker for long (it may print a line);
// - questions block the calling (worker) thread alone, with their owner disabled;
// - the job ends with exactly one of jobFinished (its final state) or postClose (ended
//   without it), after which the engine calls nothing more and its body returns at once:
//   waiting for the user to acknowledge the end is the view's business, never the
//   worker's.
#pragma once

#include "engine/ExtractChoices.h"
#include "engine/JobCounts.h"
#include "engine/MailboxList.h"
#include "utils/Block.h"
#include "utils/String.h"

#include <cstdint>
#include <memory>

// Which window owns a question box.
enum class ViewOwner {
    ProgressWindow, // the job's errors and questions, "Error saving file" too
    TopLevel,       // the backup failure box
};

// The counter labels of the progress window.
enum class ViewCounter { Mailboxes, Emails, Attachments, Encoded, Decoded, Skipped };

// Button captions and the check-box text may be null: absent buttons are not shown.
struct QuestionText {
    const char* title;
    const TOVK_Utils::Block* message;
    const char* caption1;
    const char* caption2 = nullptr;
    const char* caption3 = nullptr;
    const char* caption4 = nullptr;
    const char* checkText = nullptr;
    int sizeCode = 1; // 1 for errors and questions, 2 for the final information box
};

// What the job does with a mailbox whose message index cannot be read. Rescue only reads:
// while cutting, such a mailbox is reported and left as it is, whatever the choice.
enum class Rescue {
    Ask,         // the desktop program asks whether to recover its attachments
    WhenDamaged, // recovered at once, with a note (klovin-extract)
    Always,      // every mailbox is carved; chains the index does not name are saved too
};

// What to do with a backup of an earlier run that stands where a new one goes.
enum class OldBackups {
    AskToReplace, // the desktop program asks once whether to overwrite them
    KeepBeside,   // never replaced: the new backup takes a free numbered name beside it
};

// A question box whose check box the caller reads after the answer.
class ViewQuestion {
public:
    virtual ~ViewQuestion() = default;
    // Blocks until a button is pressed; returns its number, 1 to 4.
    virtual int showModal(ViewOwner owner, const QuestionText& text) = 0;
    virtual bool checkState() const = 0;
};

class EngineView {
public:
    virtual ~EngineView() = default;

    // Settings values; the engine never writes them.
    virtual const TOVK_Utils::String& extractFolder() = 0;
    virtual const TOVK_Utils::String& backupFolder() = 0;
    virtual bool createBackups() = 0;
    virtual bool cutAttachments() = 0;
    virtual const TOVK_Utils::String& outlookExpressStoreRoot() = 0;
    virtual OldBackups oldBackups() = 0;
    // The list holds folders of .eml files instead of mailbox names.
    virtual bool listShowsEmlFolders() = 0;
    virtual Rescue rescue() = 0;
    // The choices beyond those above; a view that offers none keeps the default.
    virtual const ExtractChoices& choices() {
        static const ExtractChoices none;
        return none;
    }

    virtual MailboxList& mailboxList() = 0;

    // A question box; blocks until a button is pressed and returns its number, 1 to 4.
    virtual int ask(ViewOwner owner, const QuestionText& text) = 0;
    virtual std::unique_ptr<ViewQuestion> newQuestion() = 0;

    // The progress window.
    virtual void setStatusText(const TOVK_Utils::Block& text) = 0;
    virtual void postStatusText(const TOVK_Utils::Block& text) = 0; // a copy is posted
    // The counter's new text; the view keeps its own copy.
    virtual void postCounterText(ViewCounter counter, const TOVK_Utils::String& text) = 0;
    virtual void setProgressRange(int low, int high) = 0;
    virtual void setProgress(int value) = 0;
    virtual void enablePauseButton(bool enable) = 0;
    // One line naming what could not be done: a mailbox or message not read, a message
    // not written back and why, an attachment not saved. The desktop program shows none.
    virtual void reportProblem(const TOVK_Utils::Block& text) = 0;
    // The job is over, in its final state (Pause disabled, the progress bar full): the
    // counts are final. The desktop program turns Stop into "Done" and closes the progress
    // window when it is pressed; klovin-extract ends its serving of the job.
    virtual void jobFinished(const JobCounts& counts) = 0;
    // The job has ended without its final state (a backup refused or failed): the
    // progress window closes itself on its own thread.
    virtual void postClose() = 0;
};
