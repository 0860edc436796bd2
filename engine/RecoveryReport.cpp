#include "engine/RecoveryReport.h"

#include "utils/Path.h"

using TOVK_Internet::RecoveryResult;
using TOVK_Utils::Block;
using TOVK_Utils::String;

namespace {

using Outcome = RecoveryResult::Outcome;
using Change = RecoveryResult::Change;
using Failure = RecoveryResult::Failure;

String nameOf(const Block& file) {
    TOVK_Utils::Path path;
    String name;
    if (!path.assign(file)) {
        name.assign(file);
        return name;
    }
    path.tail(name, path.lastComponent());
    return name;
}

// Builds a message from 8-bit sentences and names of either width; the names keep every
// character, also those the 8-bit code page does not have.
class Message {
public:
    explicit Message(const Block& name) { text_.setWide(name.isWide()); }
    Message& operator<<(const char* words) {
        text_.append(Block(words));
        return *this;
    }
    Message& operator<<(const Block& name) {
        text_.append(name);
        return *this;
    }
    Message& operator<<(uint64_t number) {
        String digits;
        digits.setDecimal(static_cast<int64_t>(number));
        text_.append(digits);
        return *this;
    }
    String take() { return text_; }

private:
    String text_;
};

const char* whyKept(Change change) {
    switch (change) {
    case Change::Size:
        return "it is shorter than the blocks an interrupted run wrote its journal for, so it may "
               "have been compacted or repaired in the meantime";
    case Change::Bytes:
    case Change::None:
        break;
    }
    return "some of its bytes are neither those an interrupted run found nor those it wrote, "
           "so it may have been compacted or repaired in the meantime";
}

// What follows the mailbox's name when recovery could not finish.
const char* whatFailed(Failure failure) {
    switch (failure) {
    case Failure::MailboxNotOpened:
        return " could not be opened to restore what an interrupted run left half-written.";
    case Failure::JournalUnreadable:
        return " was left as it is: its journal could not be read.";
    case Failure::JournalForeign:
        return " was left as it is: its journal is not one this program can read.";
    case Failure::MailboxUnreadable:
        return " could not be read to check what an interrupted run left in it.";
    case Failure::JournalNotRemoved:
        return " was not changed by the interrupted run, but its journal could not be removed.";
    case Failure::JournalNotSetAside:
        return " may hold messages that an interrupted run left half-written: its journal is "
               "damaged, and it could not be renamed aside.";
    case Failure::MailboxUnwritable:
    case Failure::RestoredJournalNotRemoved:
    case Failure::None:
        break;
    }
    return " could not be written while restoring what an interrupted run left half-written; "
           "restoring can be tried again.";
}

// Said when the file was added to or moved since: recovery went by its blocks alone.
const char* changedSince(const RecoveryResult& result) {
    if (!result.sizeDiffered && !result.indexDiffered)
        return "";
    return " It was added to, copied or moved since; the blocks that run wrote were checked one "
           "by one.";
}

String restored(const RecoveryResult& result, const String& name) {
    if (result.restoredSpans == 0)
        return (Message(name) << "An interrupted run had not yet changed " << name
                              << "; its journal was removed." << changedSince(result))
            .take();
    return (Message(name) << "Restored " << uint64_t{result.restoredSpans}
                          << (result.restoredSpans == 1 ? " block of " : " blocks of ") << name
                          << " left half-written by an interrupted run." << changedSince(result))
        .take();
}

// The journal could not prove that its mailbox holds no half-written message.
String setAside(const RecoveryResult& result, const String& name) {
    Message message(name);
    if (result.restoredSpans > 0)
        message << "Restored " << uint64_t{result.restoredSpans}
                << (result.restoredSpans == 1 ? " block of " : " blocks of ") << name
                << " left half-written by an interrupted run. ";
    return (message << name
                    << " may hold messages that an interrupted run left half-written: its "
                       "journal is damaged, so they could not be put back. The journal was "
                       "renamed to "
                    << nameOf(result.setAsidePath) << ". " << name
                    << " is not cut in this extraction; extracting it with rescue reads what "
                       "is left of its messages.")
        .take();
}

String failed(const RecoveryResult& result, const String& name, const String& journalName) {
    if (result.failure == Failure::RestoredJournalNotRemoved)
        return (Message(name) << name << " is restored, but its journal " << journalName
                              << " could not be removed.")
            .take();
    return (Message(name) << name << whatFailed(result.failure) << " The journal " << journalName
                          << " is kept.")
        .take();
}

} // namespace

String recoveryReport(const RecoveryResult& result, const Block& mailboxPath) {
    const String name = nameOf(mailboxPath);
    const String journalName = nameOf(TOVK_Internet::DbxJournal::journalPath(mailboxPath));
    switch (result.outcome) {
    case Outcome::NothingToRecover:
        if (result.discardedUnfinished)
            return (Message(name) << "An interrupted run left an unfinished journal beside " << name
                                  << " before it had changed anything in it; the journal was "
                                     "removed.")
                .take();
        return (Message(name) << "Nothing in " << name << " needed restoring.").take();
    case Outcome::Restored:
        return restored(result, name);
    case Outcome::SetAside:
        return setAside(result, name);
    case Outcome::KeptMailboxChanged:
        return (Message(name) << name << " was left as it is: " << whyKept(result.change)
                              << ". The journal " << journalName << " is kept.")
            .take();
    case Outcome::InUse:
        return (Message(name) << name
                              << " is in use by another program, so what an interrupted run left "
                                 "in it could not be checked. Close the other program and try "
                                 "again.")
            .take();
    case Outcome::Error:
        break;
    }
    return failed(result, name, journalName);
}
