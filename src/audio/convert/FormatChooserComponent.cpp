#include "audio/convert/FormatChooserComponent.h"

#include <cstring>

#include "audio/convert/FormatChooser.h"
#include "audio/convert/codecs/CodecManager.h"
#include "platform/ResStrings.h"
#include "platform/UserStore.h"

namespace zt {

namespace {

// Whether `format` belongs in the list for `source` under `mode`.
bool Listed(TMMACMEnumFormats mode, const WAVEFORMATEX* source, const WAVEFORMATEX& format) {
    if (!source) return true;
    switch (mode) {
        case TMMACMEnumFormats::efSuggest:
            return format.nChannels == source->nChannels &&
                   format.nSamplesPerSec == source->nSamplesPerSec;
        case TMMACMEnumFormats::efRestrict:
            return format.wFormatTag == source->wFormatTag;
        default:
            return true;
    }
}

}  // namespace

TMMACM::TMMACM() : title_(LoadResString(28020)) {
    const acm::Metrics metrics = acm::GetMetrics();
    present_ = acm::Version() >= 0x0200;
    numDrivers_ = metrics.drivers;
    numCodecs_ = metrics.codecs;
    numConverters_ = metrics.converters;
    numFilters_ = metrics.filters;
}

bool TMMACM::Execute(const WAVEFORMATEX* source, const std::string& title) {
    if (!present_) return false;
    FormatChoiceRequest request;
    request.title = title.empty() ? title_ : title;
    request.initial = source;
    for (const acm::FormatTagDetails& details : acm::EnumFormatTags()) {
        FormatChoiceTag tag;
        tag.tag = details.tag;
        tag.name = details.name;
        for (WaveFormatPtr& format : acm::EnumFormats(details.tag))
            if (Listed(enumFormats_, source, *format)) tag.formats.push_back(std::move(format));
        if (!tag.formats.empty()) request.tags.push_back(std::move(tag));
    }
    WaveFormatPtr chosen = CurrentFormatChooser().Choose(request);
    if (!chosen) return false;
    format_ = std::move(chosen);
    return true;
}

void TMMACM::StoreFormat(const WAVEFORMATEX* format, const std::string& key,
                         const std::string& value) {
    if (!format) return;
    const std::string bytes(reinterpret_cast<const char*>(format), WaveFormatSize(format));
    try {
        WriteUserValue(key, value, bytes);
    } catch (...) {
    }
}

WaveFormatPtr TMMACM::LoadFormat(const std::string& key, const std::string& value) {
    const std::optional<std::string> bytes = ReadUserValue(key, value);
    if (!bytes || bytes->size() < sizeof(WAVEFORMATEX) || bytes->size() > kMaxStoredFormat)
        return nullptr;
    WAVEFORMATEX head;
    std::memcpy(&head, bytes->data(), sizeof head);
    // A record cut short (cbSize promising more than the value holds) is not
    // a format the converter can be given.
    if (head.wFormatTag != 1 && sizeof head + head.cbSize > bytes->size()) return nullptr;
    if (head.nChannels == 0 || head.nSamplesPerSec == 0 || head.nBlockAlign == 0) return nullptr;
    return CopyWaveFormat(reinterpret_cast<const WAVEFORMATEX*>(bytes->data()));
}

}  // namespace zt
