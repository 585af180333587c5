// lcf: builds a language file from one source per language.
//
//   lcf [--code-pages] [--reserve-slot-zero] -o ZeltaTresona.lcf pt-BR.txt en-US.txt ...
//
// Languages are listed in the order of the sources. See LcfBuilder.h for
// the source format.

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "LcfBuilder.h"

int main(int argc, char** argv) {
    zt::lcf::BuildOptions options;
    std::string output;
    std::vector<std::string> sources;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--code-pages") {
            options.codePagesInHeader = true;
        } else if (arg == "--reserve-slot-zero") {
            options.reserveSlotZero = true;
        } else if (arg == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "lcf: unknown option " << arg << "\n";
            return 2;
        } else {
            sources.push_back(arg);
        }
    }
    if (output.empty() || sources.empty()) {
        std::cerr << "usage: lcf [--code-pages] [--reserve-slot-zero] -o FILE.lcf SOURCE...\n";
        return 2;
    }
    try {
        std::vector<zt::lcf::LanguageSource> languages;
        for (const std::string& path : sources) languages.push_back(zt::lcf::ReadSourceFile(path));
        const std::string bytes = zt::lcf::BuildLanguageFile(languages, options);
        const std::string temp = output + ".part";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), std::streamsize(bytes.size()));
            if (!out.flush()) throw std::runtime_error(temp + ": cannot be written");
        }
        if (std::rename(temp.c_str(), output.c_str()) != 0)
            throw std::runtime_error(output + ": cannot be written");
    } catch (const std::exception& e) {
        std::cerr << "lcf: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
