// RowList: the mailbox list of the command line, filled from the SOURCE arguments or by
// the store listing, every row ticked. Texts are kept as given (8-bit or wide) and
// converted when the job asks for the other width.
#pragma once

#include "engine/MailboxList.h"
#include "utils/String.h"

#include <vector>

class RowList : public MailboxList {
public:
    struct Row {
        TOVK_Utils::String name; // column 0
        TOVK_Utils::String size; // column 1, set by the store listing
        bool checked = true;
    };

    int nextChecked(int after) override {
        for (size_t i = size_t(after + 1); i < rows.size(); ++i)
            if (rows[i].checked)
                return int(i);
        return -1;
    }
    void itemText(TOVK_Utils::Block& text, int row, int column, bool wide) override {
        const TOVK_Utils::String& cell =
            column == 0 ? rows.at(size_t(row)).name : rows.at(size_t(row)).size;
        TOVK_Utils::String converted;
        if (wide)
            converted.toWide(cell);
        else
            converted.toNarrow(cell);
        text.assign(converted);
    }
    void removeAll() override { rows.clear(); }
    int appendItem(const TOVK_Utils::Block& text, intptr_t) override {
        rows.push_back(Row{TOVK_Utils::String(text), TOVK_Utils::String(), true});
        return int(rows.size()) - 1;
    }
    void setItemText(const TOVK_Utils::Block& text, int row, int column) override {
        (column == 0 ? rows.at(size_t(row)).name : rows.at(size_t(row)).size).assign(text);
    }

    std::vector<Row> rows;
};
