// Arbitrary text as a message: parse, walk every part, read every header value, decode
// every named part, find and decode the uuencoded files of every text part, and read a
// forwarded message sent encoded as a message again.
#include "formats/Decoding.h"
#include "formats/HeaderValue.h"
#include "formats/MimePart.h"
#include "formats/Uuencode.h"
#include "utils/LightBlock.h"

#include <string_view>

using namespace TOVK_Internet;

namespace {

std::string_view bytesOf(const TOVK_Utils::Block& block) {
    return std::string_view(reinterpret_cast<const char*>(block.rawPointer()),
                            static_cast<size_t>(block.byteSize()));
}

void walk(const TOVK_Utils::Block& text, int depth) {
    MimePart root;
    root.parse(text);
    TOVK_Utils::Block decoded;
    auto visit = [&](MimePart& part) {
        for (int32_t i = 0; i < part.headers.length(); ++i) {
            const HeaderValue value(bytesOf(part.headers.at(i).value));
            value.parameter("filename");
        }
        if (part.isAttachment()) {
            decodeContent(part, decoded);
        } else if (part.isText()) {
            const std::string_view body = bytesOf(part.body);
            for (const auto& block : findUuencodedBlocks(body))
                decodeUuencoded(body, block, decoded);
        }
        if (depth < 2 && part.mediaType == "message/rfc822" && !part.carriesMessage &&
            part.children.empty() && part.transferEncoding != TransferEncoding::Plain) {
            decodeContent(part, decoded);
            TOVK_Utils::Block copy;
            copy.assign(decoded);
            walk(copy, depth + 1);
        }
    };
    visit(root);
    for (auto& part : root.allParts)
        visit(*part);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20))
        return 0;
    TOVK_Utils::LightBlock text(data, static_cast<int32_t>(size));
    walk(text, 0);
    return 0;
}
