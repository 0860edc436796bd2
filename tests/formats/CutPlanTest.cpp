#include "formats/CutPlan.h"
#include "MimeTestUtil.h"
#include "formats/MessageCut.h"

#include <gtest/gtest.h>

#include <vector>

using namespace TOVK_Internet;
using TOVK_Utils::Block;

namespace {

const std::string twoParts = "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                             "--b\r\nContent-Type: text/plain\r\n\r\nHello\r\nBLOCK\r\nBye\r\n"
                             "--b\r\nContent-Type: image/png; name=p.png\r\n\r\nPNG\r\n--b--\r\n";
const std::string textPart = "--b\r\nContent-Type: text/plain\r\n\r\nHello\r\nBLOCK\r\nBye\r\n";
const std::string imagePart = "--b\r\nContent-Type: image/png; name=p.png\r\n\r\nPNG\r\n";

std::string without(std::string text, const std::string& what) {
    const size_t at = text.find(what);
    if (at != std::string::npos)
        text.erase(at, what.size());
    return text;
}

// The cut text, or "!" when the cut was refused or failed its check.
std::string cutOf(const MimePart& root, const CutPlan& plan, const TOVK_Utils::Block& text) {
    Block out;
    if (!spliceOutDropped(root, plan, text, out) || !cutKeepsTheRest(root, plan, out))
        return "!";
    return str(out);
}

struct Step {
    enum Kind { Drop, DropFromBody } kind;
    int part; // its index in allParts; -1 for the root
    int64_t start, end;
    bool accepted;
};

struct Case {
    const char* shows;
    std::string text;
    std::vector<Step> steps;
    std::string cut;
};

} // namespace

TEST(CutPlan, WhatAPlanTakes) {
    using S = Step;
    const Case cases[] = {
        {"a part dropped twice is marked once: the second drop is refused",
         twoParts,
         {{S::Drop, 1, 0, 0, true}, {S::Drop, 1, 0, 0, false}},
         without(twoParts, imagePart)},
        {"the root is never dropped: the message would be left empty",
         twoParts,
         {{S::Drop, -1, 0, 0, false}},
         twoParts},
        {"a range that ends the text leaves exactly what was before it, an empty last line too",
         "Subject: x\r\n\r\nHello\r\n\r\nBLOCK",
         {{S::DropFromBody, -1, 9, 14, true}},
         "Subject: x\r\n\r\nHello\r\n\r\n"},
        {"a range outside the body is refused",
         "Subject: x\r\n\r\nHello",
         {{S::DropFromBody, -1, 2, 9, false}},
         "Subject: x\r\n\r\nHello"},
        {"the same range twice is cut once",
         twoParts,
         {{S::DropFromBody, 0, 7, 14, true}, {S::DropFromBody, 0, 7, 14, true}},
         without(twoParts, "BLOCK\r\n")},
        {"a range of a part that is dropped whole goes with the part",
         twoParts,
         {{S::DropFromBody, 0, 7, 14, true}, {S::Drop, 0, 0, 0, true}},
         without(twoParts, textPart)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        const TOVK_Utils::LightBlock text = view(c.text);
        MimePart root;
        root.parse(text);
        CutPlan plan(root);
        for (const Step& step : c.steps) {
            const MimePart& part = step.part < 0 ? root : *root.allParts.at(size_t(step.part));
            const bool accepted = step.kind == Step::Drop
                                      ? plan.drop(part)
                                      : plan.dropFromBody(part, step.start, step.end);
            EXPECT_EQ(accepted, step.accepted) << "step on part " << step.part;
        }
        EXPECT_EQ(cutOf(root, plan, text), c.cut);
    }
}

TEST(CutPlan, APlanTakesOnlyPartsOfItsOwnTree) {
    const TOVK_Utils::LightBlock text = view(twoParts);
    MimePart one, other;
    one.parse(text);
    other.parse(text);
    CutPlan plan(one);
    const MimePart& image = *other.allParts.at(1);
    EXPECT_FALSE(plan.drop(image));
    EXPECT_FALSE(plan.dropFromBody(*other.allParts.at(0), 7, 14));
    EXPECT_TRUE(plan.isEmpty());
    EXPECT_FALSE(plan.isDropped(image));

    // Handed the wrong tree, the cut and its check refuse, even for a plan that cuts nothing.
    ASSERT_TRUE(plan.drop(*one.allParts.at(1)));
    Block out;
    EXPECT_FALSE(spliceOutDropped(other, plan, text, out));
    EXPECT_EQ(out.byteSize(), 0);
    EXPECT_FALSE(cutKeepsTheRest(other, plan, view(without(twoParts, imagePart))));
    EXPECT_FALSE(spliceOutDropped(other, CutPlan(one), text, out));

    // A plan made from a part below the root is the plan of its whole tree.
    CutPlan fromPart(*one.allParts.at(0));
    EXPECT_TRUE(fromPart.isFor(one));
    EXPECT_TRUE(fromPart.drop(*one.allParts.at(1)));
    EXPECT_EQ(cutOf(one, fromPart, text), without(twoParts, imagePart));
}

// The splice is handed the text again: one shorter than the parsed text is refused, not
// read past its end.
TEST(CutPlan, ATextShorterThanTheParsedOneIsRefused) {
    const TOVK_Utils::LightBlock text = view(twoParts);
    MimePart root;
    root.parse(text);
    CutPlan plan(root);
    ASSERT_TRUE(plan.dropFromBody(*root.allParts.at(0), 7, 14));
    const std::string head = twoParts.substr(0, twoParts.find("BLOCK") + 3);
    Block out;
    EXPECT_FALSE(spliceOutDropped(root, plan, view(head), out));
    EXPECT_EQ(out.byteSize(), 0);
}
