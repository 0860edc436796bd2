// dbx-writer: builds an Outlook Express mailbox file from message files, for tests and
// demonstrations.
//   dbx-writer [--capacity N] [--indirect] [--shuffle] [--gaps] [--random-index]
//              [--seed N] OUT.dbx MESSAGE...
#include "DbxWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    DbxTest::DbxOptions options;
    bool randomIndex = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        const std::string flag = argv[i];
        if (flag == "--capacity" && i + 1 < argc)
            options.blockCapacity = std::atoi(argv[++i]);
        else if (flag == "--seed" && i + 1 < argc)
            options.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (flag == "--indirect")
            options.indirect = true;
        else if (flag == "--shuffle")
            options.shuffleBlocks = true;
        else if (flag == "--gaps")
            options.gaps = true;
        else if (flag == "--random-index")
            randomIndex = true;
        else {
            std::fprintf(stderr, "dbx-writer: unknown option %s\n", flag.c_str());
            return 2;
        }
    }
    if (i >= argc || options.blockCapacity <= 0) {
        std::fprintf(stderr, "usage: dbx-writer [--capacity N] [--indirect] [--shuffle] [--gaps] "
                             "[--random-index] [--seed N] OUT.dbx MESSAGE...\n");
        return 2;
    }
    const char* out = argv[i++];
    DbxTest::DbxWriter writer(options);
    for (; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "dbx-writer: cannot read %s\n", argv[i]);
            return 1;
        }
        std::ostringstream text;
        text << in.rdbuf();
        writer.addMessage(text.str());
    }
    if (randomIndex)
        writer.setRandomIndex();
    if (!writer.writeFile(out)) {
        std::fprintf(stderr, "dbx-writer: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
