#include "engine/JobReport.h"

#include "utils/String.h"

using TOVK_Utils::Block;
using TOVK_Utils::String;

void JobReport::addMailbox() {
    postCount(ViewCounter::Mailboxes, ++counts_.mailboxes);
}

void JobReport::addEmail() {
    postCount(ViewCounter::Emails, ++counts_.emails);
    view_.setProgress(counts_.emails);
}

void JobReport::addSaved(int64_t encodedLength, int64_t decodedLength) {
    postCount(ViewCounter::Attachments, ++counts_.attachments);
    postMegabytes(ViewCounter::Encoded, counts_.encodedBytes += encodedLength);
    postMegabytes(ViewCounter::Decoded, counts_.decodedBytes += decodedLength);
}

void JobReport::addSkipped() {
    postCount(ViewCounter::Skipped, ++counts_.skipped);
}

void JobReport::problem(const Block& text) {
    view_.reportProblem(text);
}

void JobReport::showError(ViewOwner owner, const Block& message) {
    view_.ask(owner, QuestionText{"Error", &message, "Ok"});
}

void JobReport::notWrittenBack(const Block& where, const char* why) {
    ++counts_.writeFailures;
    String text;
    TOVK_Utils::format(text, "%s was not written back: %s", where, String(why));
    problem(text);
}

void JobReport::postCount(ViewCounter label, int32_t value) {
    String text;
    text.printFormatted("%d", value);
    view_.postCounterText(label, text);
}

void JobReport::postMegabytes(ViewCounter label, int64_t bytes) {
    String text;
    text.printFormatted("%.1f MB", static_cast<double>(bytes) / 1048576.0);
    view_.postCounterText(label, text);
}
