#pragma once
// The in-memory copy of cfg.ini. Every value is kept as the text read from the
// file and converted where it is used (zt::StrToInt), so a malformed number
// fails at its point of use and not when the file is read. The one exception
// is iIdioma, read as an integer with -1 for "no language chosen yet".
//
// Threads: owned by the main window and touched on the main thread only; no
// locking.

#include <string>
#include <string_view>

namespace zt {

struct RecorderSettings {
    // [Gravacao]
    std::string Formato;  // MP3 bitrate index 0-13
    // [Geral]
    std::string Placa;         // sound-card index in the card list
    std::string Local;         // recording folder, no trailing separator
    std::string AutoGravar;    // flag: start recording by itself
    std::string MBLivres;      // key "MB Livres": minimum free MiB of the recording drive
    std::string DiasRec;       // days a recording is kept
    std::string TempoRec;      // segment length in minutes
    std::string Copia;         // flag: copy every finished segment to LocalCopia
    std::string LocalCopia;    // backup folder
    std::string Prioridade;    // flag: raise the process priority when applied
    std::string Controle;      // recording-input index; "-1" means none chosen
    std::string Crowley;       // flag: export every finished segment as WAV
    std::string SiglaCrowley;  // station code of the export
    // [System]
    int iIdioma = -1;     // chosen language, -1 = not chosen yet
    std::string sVersao;  // version of the last installed update
    std::string sGuid;    // identifier of this installation

    bool operator==(const RecorderSettings&) const = default;
};

// Flags are "S" (yes) and "N" (no). Only the exact, upper-case "S" means yes:
// "s", "Sim" or anything else hand-typed into the file counts as no.
inline bool FlagIsSet(std::string_view flag) {
    return flag == "S";
}
inline const char* FlagText(bool set) {
    return set ? "S" : "N";
}

}  // namespace zt
