#include "priority/TFrmPrioridade.h"

#include <algorithm>
#include <utility>

#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "priority/PriorityRaise.h"

namespace zt {

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool BeginsWith(std::string_view item, std::string_view prefix) {
    if (prefix.size() > item.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(item[i]) != AsciiLower(prefix[i])) return false;
    }
    return true;
}

// The first `max` characters of a UTF-8 text, never cutting a character.
std::string CutToCharacters(const std::string& text, size_t max) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (starts && ++characters > max) return text.substr(0, i);
    }
    return text;
}

std::string ListIndexError(int index) {
    return "List index out of bounds (" + std::to_string(index) + ")";
}

}  // namespace

int FindItemByPrefix(const std::vector<std::string>& items, std::string_view text) {
    const int count = static_cast<int>(items.size());
    for (int step = 1; step <= count; ++step) {
        const int index = step % count;  // 1, 2, .., count - 1, then 0
        if (BeginsWith(items[static_cast<size_t>(index)], text)) return index;
    }
    return -1;
}

TFrmPrioridade::TFrmPrioridade(std::string procRoot, PrioritySystem& system, Dialogs* dialogs)
    : procRoot_(std::move(procRoot)), system_(system), dialogs_(dialogs) {}

std::string TFrmPrioridade::WindowsFamily() {
    return "XP";
}

Dialogs& TFrmPrioridade::Messages() const {
    return dialogs_ ? *dialogs_ : CurrentDialogs();
}

void TFrmPrioridade::ClearProcessList() {
    items_.clear();
    objects_.clear();
    itemIndex_ = -1;
}

void TFrmPrioridade::RefreshProcessList() {
    const int remembered = itemIndex_;
    ClearProcessList();

    ProcessTreeRead read = ReadProcessTree(procRoot_);
    for (procObject& entry : read.processes) {
        items_.push_back(entry.name);
        objects_.push_back(std::move(entry));
    }
    if (!read.complete) Messages().Information(kProcessListReadError);

    if (!items_.empty()) {
        // The same position in a list that may have got shorter meanwhile:
        // its last item rather than none.
        const int last = static_cast<int>(items_.size()) - 1;
        itemIndex_ = remembered > 0 ? std::min(remembered, last) : 0;
    }
}

void TFrmPrioridade::SetEdProcesso(const std::string& text) {
    edProcesso_ = CutToCharacters(text, kEdProcessoMaxLength);
    EdProcessoChange();
}

void TFrmPrioridade::EdProcessoChange() {
    itemIndex_ = FindItemByPrefix(items_, edProcesso_);
}

const procObject& TFrmPrioridade::Object(int index) const {
    if (index < 0 || index >= static_cast<int>(objects_.size())) {
        throw Exception(ListIndexError(index));
    }
    return objects_[static_cast<size_t>(index)];
}

void TFrmPrioridade::SetItemIndex(int index) {
    itemIndex_ = (index >= 0 && index < static_cast<int>(items_.size())) ? index : -1;
}

bool TFrmPrioridade::RaiseSelectedProcess() {
    // A copy: the refresh below replaces the objects.
    const procObject entry = Object(itemIndex_);
    const bool raised = SetProcessPriority(entry, kHighestNice);
    RefreshProcessList();
    return raised;
}

bool TFrmPrioridade::SetProcessPriority(const procObject& entry, int nice) {
    const bool raised = RaiseProcessNice(entry.pid, system_, nice);
    if (!raised) Messages().Information(kPriorityChangeError);
    return raised;
}

}  // namespace zt
