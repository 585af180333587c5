#pragma once
// TMMACM: the codec format chooser component and the stored export format.
//
// Execute shows the chooser (FormatChooser.h) with the codecs of the codec
// manager and the formats each offers, starting from a given format, under
// a given title; a confirmed choice is kept in the component. StoreFormat
// and LoadFormat keep one format in the per-user store (UserStore.h) as the
// bytes of its WAVEFORMATEX record (18 bytes, or 18 + cbSize).
//
// Threads: main thread only (the chooser is modal on it).

#include <cstdint>
#include <string>

#include "audio/chain/WaveFormat.h"

namespace zt {

// Which formats the chooser lists.
enum class TMMACMEnumFormats { efAll, efInput, efOutput, efConvert, efSuggest, efRestrict };

class TMMACM {
public:
    // The largest stored value read back; a longer one counts as absent.
    static constexpr size_t kMaxStoredFormat = 1025;

    TMMACM();

    // The codec manager is built in and always at version 2.00 or later.
    bool ACMPresent() const { return present_; }
    int NumDrivers() const { return numDrivers_; }
    int NumCodecs() const { return numCodecs_; }
    int NumConverters() const { return numConverters_; }
    int NumFilters() const { return numFilters_; }

    TMMACMEnumFormats EnumFormats() const { return enumFormats_; }
    void SetEnumFormats(TMMACMEnumFormats value) { enumFormats_ = value; }
    const std::string& Title() const { return title_; }
    void SetTitle(std::string value) { title_ = std::move(value); }

    // Shows the chooser starting from `source` (may be null) with `title`
    // (empty: Title()). True when a format was chosen; it is then Format().
    // efSuggest and efRestrict list only formats of the source's
    // channels/rate or tag; the others list every format the codec manager
    // offers (each can be made from 16-bit PCM).
    bool Execute(const WAVEFORMATEX* source, const std::string& title = {});
    const WAVEFORMATEX* Format() const { return format_.get(); }

    // Stores `format` under key/value (creating the key). Errors of the
    // store are ignored, as for any setting outside cfg.ini.
    static void StoreFormat(const WAVEFORMATEX* format, const std::string& key,
                            const std::string& value);
    // The stored format, or null when the value is missing, empty, longer
    // than kMaxStoredFormat or not a whole format record.
    static WaveFormatPtr LoadFormat(const std::string& key, const std::string& value);

private:
    bool present_ = false;
    int numDrivers_ = 0, numCodecs_ = 0, numConverters_ = 0, numFilters_ = 0;
    TMMACMEnumFormats enumFormats_ = TMMACMEnumFormats::efAll;
    std::string title_;
    WaveFormatPtr format_;
};

}  // namespace zt
