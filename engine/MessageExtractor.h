// MessageExtractor: the attachments of one parsed message taken out. The finder says what
// they are; each is decoded, saved by the writer and counted; with cutting on, one that
// the finder lets go, that decoded cleanly and whose saved file holds exactly its bytes
// is marked to be cut, and its file started on its way to the disk. One that is saved
// but stays is counted as kept in its message (unless a kept attachment holds it). One
// the user's choices leave (a picture the text shows, another file type, too small) is
// neither saved nor cut, only counted.
#pragma once

#include "engine/AttachmentFinder.h"
#include "engine/AttachmentList.h"
#include "engine/AttachmentWriter.h"
#include "engine/EngineView.h"
#include "engine/HashWorker.h"
#include "engine/JobReport.h"
#include "formats/CutPlan.h"
#include "formats/MimePart.h"
#include "utils/Block.h"
#include "utils/Path.h"
#include "utils/String.h"

#include <cstdint>
#include <string>
#include <vector>

class MessageExtractor {
public:
    // Where the next messages come from, for the list and the saved files' dates.
    struct Origin {
        std::string mailbox; // the mailbox, or the message folder (UTF-8)
        std::string message; // its number in the mailbox, or its file's name (UTF-8)
        // The message file, whose time a file saved from it takes when it has no readable
        // Date; null for a mailbox's message, whose files then keep the time of their saving.
        const TOVK_Utils::Block* file = nullptr;
    };

    // list: the job's list of saved attachments, or null when none is written.
    MessageExtractor(EngineView& view, JobReport& report, AttachmentWriter& writer,
                     AttachmentList* list = nullptr);
    // Writes the row that still waits, before the bytes its digest reads go.
    ~MessageExtractor();
    MessageExtractor(const MessageExtractor&) = delete;
    MessageExtractor& operator=(const MessageExtractor&) = delete;

    void setOrigin(Origin origin) { origin_ = std::move(origin); }

    // Saves every attachment of the message; `where` names the message in reports. True
    // when some part was marked in the plan to be cut; cutFiles then names the files the
    // cut needs.
    bool extract(const TOVK_Internet::MimePart& message, TOVK_Internet::CutPlan& plan,
                 const TOVK_Utils::Block& where);
    const std::vector<TOVK_Utils::String>& cutFiles() const { return cutFiles_; }
    // Writes the row that waits for its digest; the job calls it before the list ends.
    void writeWaitingRow();

    // The message's text without its marked parts, checked; false (reported, counted as
    // not written back) when the cut text would lose anything else.
    bool cutText(const TOVK_Internet::MimePart& message, const TOVK_Internet::CutPlan& plan,
                 const TOVK_Utils::Block& text, TOVK_Utils::Block& output,
                 const TOVK_Utils::Block& where);

private:
    // Whether the user's choices leave the attachment alone; content null: not decoded
    // yet, so only what its message says is judged.
    bool isSkipped(const AttachmentFinder::Found& found, const TOVK_Utils::Block* content) const;
    bool save(const AttachmentFinder::Found& found, const TOVK_Utils::Block& content,
              const TOVK_Utils::Block& where);
    // Marks the saved attachment to be cut, or says why it stays in its message.
    KeepReason cutOrKeep(const AttachmentFinder::Found& found, const TOVK_Utils::Block& content,
                         bool clean, TOVK_Internet::CutPlan& plan);
    // The one place a part, or a range of its body, is marked to be cut, with its note
    // when the user asked for notes. False when the part would not read as it should
    // without the range.
    bool markCut(const AttachmentFinder::Found& found, const TOVK_Utils::Block& content,
                 TOVK_Internet::CutPlan& plan);
    // "The attachment NAME (SIZE) was saved as PATH on DATE by ...", in UTF-8.
    std::string noteSentence(const AttachmentFinder::Found& found,
                             const TOVK_Utils::Block& content) const;
    // The message's date for its new files, and what the list takes from its headers.
    void readHeaders(const TOVK_Internet::MimePart& message);
    void list(const AttachmentFinder::Found& found, const TOVK_Utils::Block* content,
              const char* cut);
    void startDigest(const TOVK_Utils::Block& content);
    void writeRow(const AttachmentList::Row& row);

    JobReport& report_;
    AttachmentWriter& writer_;
    AttachmentList* list_;
    // The list's digest of the latest attachment is made while the job goes on with the
    // next one; its row waits for it. The bytes it reads stay as they are meanwhile: the
    // next attachment is decoded into the other buffer, and the finder's own texts last
    // until the next message is looked at.
    HashWorker hasher_;
    AttachmentList::Row waitingRow_;
    bool rowWaits_ = false;
    Origin origin_;
    bool dated_ = false; // the message's files get date_
    int64_t date_ = 0;
    std::string isoDate_, from_, subject_; // the list's columns for the message
    const bool cutOn_;
    const ExtractChoices choices_;
    const std::string today_; // the extraction's date, which the notes give
    AttachmentFinder finder_;
    TOVK_Utils::Block decoded_[2]; // the attachment being saved, and the one being hashed
    int freeBuffer_ = 0;           // the one the next attachment is decoded into
    TOVK_Utils::Path saved_;    // the file that holds it
    // Saved, or skipped: a forwarded message's own attachments are looked at then.
    std::vector<bool> lookInside_;
    std::vector<TOVK_Utils::String> cutFiles_;
};
