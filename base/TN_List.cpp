// TN_List: appending and emptying.
#include "base/TN_List.h"

#include <new>

#include "base/TN_ListItem.h"

TN_List::~TN_List() { removeAll(); }

void TN_List::append(TN_ListItem* item) {
    if (item == nullptr) return;
    item->m_previous = m_last;
    item->m_next = nullptr;
    if (m_last != nullptr) m_last->m_next = item;
    else m_first = item;
    m_last = item;
    ++m_count;
}

bool TN_List::appendValue(void* value) {
    auto* item = new (std::nothrow) TN_ListItem(value);
    if (item == nullptr) return false;
    append(item);
    return true;
}

void TN_List::removeAll() {
    for (TN_ListItem* item = m_first; item != nullptr;) {
        TN_ListItem* next = item->next();
        delete item;
        item = next;
    }
    m_first = m_last = nullptr;
    m_count = 0;
}
