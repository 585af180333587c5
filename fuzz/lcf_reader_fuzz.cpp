// Feeds arbitrary bytes to the language-file reader as a whole file: it
// must open it or refuse it, list its languages, and for each language load
// every numbered string and apply every window entry to a small window of
// plain objects, reading nothing outside the file. A malformed index may end
// a window's translation with an exception of the program's own; nothing
// else may escape.
#include <QObject>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lang/Lcf.h"
#include "lang/Translate.h"
#include "platform/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zt;
    const std::vector<uint8_t> bytes(data, data + size);
    std::vector<int32_t> languages;
    {
        TLcf lcf;
        lcf.OpenBytes(
            bytes, 1046,
            [&](int32_t lcid, void*) {
                languages.push_back(lcid);
                return languages.size() < 4 ? 1 : 0;
            },
            nullptr);
    }
    QObject form;
    form.setObjectName("FrmGravar");
    QObject child(&form);
    child.setObjectName("LStatus");
    for (int32_t lcid : languages) {
        TLcf lcf;
        if (lcf.OpenBytes(bytes, lcid, {}, nullptr) != 1) continue;
        for (const std::string& name : lcf.ResourceNames()) {
            if (!name.empty() && name.size() < 10 &&
                name.find_first_not_of("0123456789") == std::string::npos) {
                lcf.LoadTranslatedString(std::stoi(name));
                continue;
            }
            TProps props;
            props.Lcf = &lcf;
            props.Form = &form;
            LoadResourceEntries(props, lcf.Index, name);
            try {
                for (const TProp& entry : props.List)
                    if (entry.HasText) ApplyEntry(entry, lcf.CodePage, &form);
            } catch (const Exception&) {
                // A bad index ends this window's translation.
            }
        }
    }
    return 0;
}
