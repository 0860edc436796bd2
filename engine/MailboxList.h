// The main window's mailbox list as the engine and the store listing see it: rows in
// list order, each with a text in column 0 (a mailbox name without ".dbx", or the full
// path of a message folder) and a check mark.
#pragma once

#include "utils/Block.h"

#include <cstdint>

class MailboxList {
public:
    virtual ~MailboxList() = default;

    // The first row after `after` whose check mark is the ticked one, or -1. Walks
    // start at -1.
    virtual int nextChecked(int after) = 0;
    // The text of a cell, 8-bit or wide.
    virtual void itemText(TOVK_Utils::Block& text, int row, int column, bool wide) = 0;

    // Filling the list (store listing).
    virtual void removeAll() = 0;
    virtual int appendItem(const TOVK_Utils::Block& text, intptr_t data) = 0;
    virtual void setItemText(const TOVK_Utils::Block& text, int row, int column) = 0;
};
