#include "engine/Recoveries.h"

#include "engine/RecoveryReport.h"
#include "formats/DbxJournal.h"
#include "utils/FileSystem.h"

using TOVK_Internet::DbxJournal;
using TOVK_Internet::RecoveryResult;
using TOVK_Utils::Block;
using TOVK_Utils::String;

namespace {

Recoveries::Verdict verdictOf(const RecoveryResult& result) {
    using Outcome = RecoveryResult::Outcome;
    switch (result.outcome) {
    case Outcome::NothingToRecover:
    case Outcome::Restored:
        return Recoveries::Verdict::Usable;
    case Outcome::SetAside:
        return Recoveries::Verdict::NotCut;
    case Outcome::KeptMailboxChanged:
    case Outcome::InUse:
    case Outcome::Error:
        break;
    }
    return Recoveries::Verdict::LeftAlone;
}

} // namespace

Recoveries::Verdict Recoveries::recover(const Block& mailboxPath, JobReport& report) {
    for (const Known& known : known_)
        if (known.path.equals(mailboxPath))
            return known.verdict;
    // Also an empty journal, which a run killed between making it and its first write
    // leaves: recovery takes it away under the mailbox's lock.
    if (TOVK_Utils::getAttributes(DbxJournal::journalPath(mailboxPath)) == TOVK_Utils::NoAttributes)
        return Verdict::Usable;
    const RecoveryResult result = DbxJournal::recover(mailboxPath);
    const Verdict verdict = verdictOf(result);
    if (result.outcome == RecoveryResult::Outcome::NothingToRecover && !result.discardedUnfinished)
        return verdict; // nothing there worth a word
    const String said = recoveryReport(result, mailboxPath);
    report.problem(said);
    switch (verdict) {
    case Verdict::Usable:
        if (result.outcome == RecoveryResult::Outcome::Restored)
            report.view().ask(ViewOwner::ProgressWindow, QuestionText{"Information", &said, "Ok"});
        return verdict;
    case Verdict::NotCut:
        report.showError(ViewOwner::ProgressWindow, said);
        break;
    case Verdict::LeftAlone: {
        String text;
        TOVK_Utils::format(text, "%s It is left as it is; extraction goes on with the next mailbox.",
                           said);
        report.showError(ViewOwner::ProgressWindow, text);
        break;
    }
    }
    known_.push_back({String(mailboxPath), verdict});
    return verdict;
}
