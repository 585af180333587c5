#pragma once
// The priority form: the running processes in a list, an edit whose text
// selects the first process whose name begins with it, and the raise of the
// selected process to the highest priority the user is allowed. It is never
// shown, so it holds no widgets: the edit is its text, the list box its
// items (a name and a procObject each) and its selected index.
//
// The list is in numeric pid order, this platform's snapshot order (see
// ProcessTree.h).
//
// Threads: main thread only (it shows messages through CurrentDialogs()).

#include <string>
#include <string_view>
#include <vector>

#include "priority/PrioritySystem.h"
#include "priority/ProcessTree.h"

namespace zt {

class Dialogs;

inline constexpr const char* kProcessListReadError =
    "Um erro ocorreu enquanto a tarefa estava sendo lida.";
inline constexpr const char* kPriorityChangeError =
    "Um erro ocorreu durante o processo de troca de prioridade de processos";
// The edit keeps at most this many characters of a text given to it.
inline constexpr size_t kEdProcessoMaxLength = 255;

// The list box's prefix search: the index of the first item that begins
// with `text` (ASCII letters compared without case), searched from the
// second item to the last and then the first; -1 when none does. An empty
// text begins every item.
int FindItemByPrefix(const std::vector<std::string>& items, std::string_view text);

class TFrmPrioridade {
public:
    // `procRoot` is the process tree to read; `dialogs` (not owned) receives
    // the form's messages, CurrentDialogs() when null.
    explicit TFrmPrioridade(std::string procRoot = "/proc",
                            PrioritySystem& system = RealPrioritySystem(),
                            Dialogs* dialogs = nullptr);
    TFrmPrioridade(const TFrmPrioridade&) = delete;
    TFrmPrioridade& operator=(const TFrmPrioridade&) = delete;

    // "XP" when this platform can raise a process's priority at all, "98"
    // when not. Every Linux kernel can (the nice values), so always "XP".
    static std::string WindowsFamily();

    // Reads the process tree again, keeping the selected index (the last
    // item when the list got shorter, item 0 when nothing was selected).
    // A tree that cannot be read shows kProcessListReadError and keeps the
    // processes read until then.
    void RefreshProcessList();

    // EdProcesso: setting the text (cut to kEdProcessoMaxLength characters)
    // runs EdProcessoChange.
    const std::string& EdProcesso() const { return edProcesso_; }
    void SetEdProcesso(const std::string& text);
    // Selects the item FindItemByPrefix finds for the edit's text; no
    // selection when none.
    void EdProcessoChange();

    // Raises the selected process (SetProcessPriority with the highest nice
    // value), then reads the list again. With no item selected, throws
    // zt::Exception "List index out of bounds (-1)". True when raised.
    bool RaiseSelectedProcess();

    // Lowers the nice value of `entry`'s process to `nice`, or as far as the
    // user is allowed (RaiseProcessNice). When nothing could be done, shows
    // kPriorityChangeError. True when raised.
    bool SetProcessPriority(const procObject& entry, int nice);

    // ListProcessos.
    const std::vector<std::string>& Items() const { return items_; }
    const procObject& Object(int index) const;
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);

private:
    void ClearProcessList();
    Dialogs& Messages() const;

    std::string procRoot_;
    PrioritySystem& system_;
    Dialogs* dialogs_;
    std::string edProcesso_;
    std::vector<std::string> items_;
    std::vector<procObject> objects_;  // objects_[i] belongs to items_[i]
    int itemIndex_ = -1;
};

}  // namespace zt
