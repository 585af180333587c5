// The real program, copied into a temporary folder and run as a separate
// process (offscreen, the test PCM as its ALSA default device, its own
// runtime folder for the single-instance lock, its messages written to a
// file instead of shown): first start, auto-record, a real segment rotation,
// the termination signal and a second start.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/AppTestSupport.h"
#include "audio/SignalTestSupport.h"
#include "audio/convert/FormatChooserComponent.h"
#include "audio/convert/codecs/CodecManager.h"
#include "audio/files/Mpg123TestDecoder.h"
#include "recorder/ExportTestSupport.h"
#include "support/AlsaFixture.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"
#include "support/UpdateFixtures.h"

namespace zt::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The dialog records the program wrote: "Kind\ttext" each.
std::vector<std::string> DialogRecords(const std::string& path) {
    std::vector<std::string> records;
    const std::string bytes = fs::exists(path) ? ReadFileBytes(path) : std::string();
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0') {
            records.push_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    return records;
}

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() : EndToEnd({AlsaFixturePcm{"zt_capture", AsBytes(Sweep(44100, 2, 4.0))}}) {}
    explicit EndToEnd(std::vector<AlsaFixturePcm> pcms) : fx_(std::move(pcms)) {
        program_ = folder_.file("ZeltaTresona");
        fs::copy_file(ZT_PROGRAM_PATH, program_);
        fs::permissions(program_, fs::perms::owner_all, fs::perm_options::add);
        runtime_ = (runtimeDir_.path() / "run").string();
        ::mkdir(runtime_.c_str(), 0700);
        config_ = (runtimeDir_.path() / "config").string();
    }
    ChildProcess& Launch(const ChildProcess::EnvChanges& extra = {}) {
        ChildProcess::EnvChanges env = {
            {"QT_QPA_PLATFORM", "offscreen"},
            {"ALSA_CONFIG_PATH", fx_.ConfigPathValue()},
            {"XDG_RUNTIME_DIR", runtime_},
            {"XDG_CONFIG_HOME", config_},
            {"ZT_DIALOG_LOG", DialogLog()},
            // No desktop session and no system bus in the child.
            {"SESSION_MANAGER", std::nullopt},
            {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zt-test-bus"},
        };
        for (const auto& [name, value] : extra) env[name] = value;
        processes_.push_back(std::make_unique<ChildProcess>(program_, std::vector<std::string>{},
                                                            env, folder_.path().string()));
        EXPECT_TRUE(processes_.back()->Started());
        return *processes_.back();
    }

    // Sends SIGTERM and waits for a normal exit.
    void Terminate(ChildProcess& process) {
        process.Signal(SIGTERM);
        ASSERT_TRUE(process.WaitForExit(std::chrono::seconds(30))) << process.Output();
        EXPECT_TRUE(process.ExitedNormally()) << process.Output();
        EXPECT_EQ(process.ExitCode(), 0) << process.Output();
    }

    std::string Audio() const { return folder_.file("Audio"); }
    // The WAV files under audiomedia/, full paths, sorted.
    std::vector<std::string> ExportedFiles() const {
        std::vector<std::string> files;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(folder_.file("audiomedia"), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file() && it->path().extension() == ".wav")
                files.push_back(it->path().string());
        std::sort(files.begin(), files.end());
        return files;
    }
    // Stores the export format the child will find (as a chooser would).
    void StoreExportFormat(uint16_t tag, uint32_t rate) {
        const std::string saved =
            std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
        ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        for (WaveFormatPtr& f : acm::EnumFormats(tag))
            if (f->nSamplesPerSec == rate && f->nChannels == 1) {
                TMMACM::StoreFormat(f.get(), "SOFTWARE\\Zelta Tresona", "Formato");
                break;
            }
        if (saved.empty())
            ::unsetenv("XDG_CONFIG_HOME");
        else
            ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    }
    std::string DialogLog() const { return (runtimeDir_.path() / "dialogs.log").string(); }
    std::vector<std::string> Recordings() const { return FileNames(Audio()); }

    // The one provisional recording once it has received audio.
    std::string WaitForProvisional(ChildProcess& process) {
        std::string path;
        EXPECT_TRUE(WaitFor(
            [&] {
                for (const std::string& name : Recordings())
                    if (IsProvisionalName(name) && SizeOf(Audio() + "/" + name) > 4000)
                        path = Audio() + "/" + name;
                return !path.empty() || !process.Running();
            },
            std::chrono::seconds(20)));
        EXPECT_FALSE(path.empty()) << process.Output();
        return path;
    }

    TempDir folder_;      // the program's folder
    TempDir runtimeDir_;  // the user's runtime folder and the dialog log
    std::string program_, runtime_, config_;
    AlsaFixture fx_;
    std::vector<std::unique_ptr<ChildProcess>> processes_;
};

void ExpectDecodes(const std::string& path, double minSeconds, double maxSeconds) {
    const DecodedMp3 decoded = DecodeMp3(ReadFileBytes(path));
    ASSERT_TRUE(decoded.ok) << path << ": " << decoded.error;
    EXPECT_EQ(decoded.rate, 44100) << path;
    EXPECT_EQ(decoded.channels, 2) << path;
    const double seconds = double(decoded.Frames()) / 44100.0;
    EXPECT_GE(seconds, minSeconds) << path;
    EXPECT_LE(seconds, maxSeconds) << path;
}

TEST_F(EndToEnd, FirstStartWritesDefaultsRecordsAndFinishesOnTermination) {
    const auto launched = Clock::now();
    ChildProcess& p = Launch();
    ASSERT_TRUE(
        WaitFor([&] { return fs::exists(folder_.file("cfg.ini")); }, std::chrono::seconds(10)))
        << p.Output();
    const std::string provisional = WaitForProvisional(p);
    ASSERT_FALSE(provisional.empty());
    // Recording starts by itself, one second after the window was made.
    EXPECT_GE(Clock::now() - launched, std::chrono::milliseconds(900));
    const std::string cfg = ReadFileBytes(folder_.file("cfg.ini"));
    for (const char* line : {"TempoRec=10", "AutoGravar=S", "DiasRec=30", "MB Livres=200"})
        EXPECT_NE(cfg.find(line), std::string::npos) << line;

    // The file grows while recording goes on.
    const uintmax_t size = SizeOf(provisional);
    ASSERT_TRUE(
        WaitFor([&] { return SizeOf(provisional) > size + 8000; }, std::chrono::seconds(10)));

    Terminate(p);
    const std::vector<std::string> files = Recordings();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(IsFinalName(files[0])) << files[0];
    EXPECT_EQ(files[0].substr(0, 10), fs::path(provisional).filename().string().substr(0, 10));
    ExpectDecodes(Audio() + "/" + files[0], 1.0, 60.0);
    EXPECT_TRUE(DialogRecords(DialogLog()).empty());
}

TEST_F(EndToEnd, SegmentsRotateAndASecondStartLeavesTheFirstAlone) {
    // Every finished segment is also exported, as GSM 6.10 8 kHz mono, the
    // format this user chose earlier.
    WriteSettings(folder_.dir(), {{"TempoRec", "1"}, {"Crowley", "S"}, {"SiglaCrowley", "RDX"}});
    StoreExportFormat(0x31, 8000);
    ChildProcess& first = Launch();
    const std::string provisional = WaitForProvisional(first);
    ASSERT_FALSE(provisional.empty());

    // A second start says so and ends, without touching the first.
    ChildProcess& second = Launch();
    ASSERT_TRUE(second.WaitForExit(std::chrono::seconds(30))) << second.Output();
    EXPECT_TRUE(second.ExitedNormally());
    EXPECT_EQ(second.ExitCode(), 0);
    EXPECT_EQ(
        DialogRecords(DialogLog()),
        std::vector<std::string>{"Information\tO Sistema \"Zelta Tresona 2012\" já está ativo"});
    EXPECT_TRUE(first.Running());
    const uintmax_t size = SizeOf(provisional);
    ASSERT_TRUE(
        WaitFor([&] { return SizeOf(provisional) > size + 8000; }, std::chrono::seconds(10)));

    // After one minute the segment is cut: a final name and a new provisional one.
    std::string cut, next;
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::vector<std::string> files = Recordings();
            if (files.size() != 2) return false;
            for (const std::string& name : files) {
                if (IsFinalName(name)) cut = name;
                if (IsProvisionalName(name)) next = name;
            }
            return !cut.empty() && !next.empty() && SizeOf(Audio() + "/" + next) > 4000;
        },
        std::chrono::seconds(90)))
        << first.Output();
    // The first segment's export appears, complete, while recording goes on.
    std::string exportedWhileRecording;
    EXPECT_TRUE(WaitFor(
        [&] {
            for (const std::string& wav : ExportedFiles())
                if (std::atof(RunCommand("soxi -D '" + wav + "' 2>/dev/null").c_str()) > 55.0)
                    exportedWhileRecording = wav;
            return !exportedWhileRecording.empty();
        },
        std::chrono::seconds(60)));
    EXPECT_TRUE(first.Running());
    Terminate(first);

    // The first segment keeps its name; the second one is finished too, and
    // the names chain: the first ends where the second starts.
    const std::vector<std::string> files = Recordings();
    ASSERT_EQ(files.size(), 2u);
    const std::string last = files[0] == cut ? files[1] : files[0];
    ASSERT_TRUE(IsFinalName(last)) << last;
    EXPECT_EQ(last.substr(0, 10), next.substr(0, 10));
    EXPECT_EQ(cut.substr(11, 10), last.substr(0, 10));
    ExpectDecodes(Audio() + "/" + cut, 55.0, 61.0);
    ExpectDecodes(Audio() + "/" + last, 0.5, 30.0);
    EXPECT_EQ(DialogRecords(DialogLog()).size(), 1u);

    // Both segments were exported, the first while the second was being
    // recorded, the last before the program ended; each WAV holds its
    // segment's length.
    ASSERT_FALSE(exportedWhileRecording.empty());
    const std::vector<std::string> wavs = ExportedFiles();
    ASSERT_EQ(wavs.size(), 2u);
    for (const std::string& wav : wavs) {
        const SoxInfo info = ReadWithSox(wav);
        EXPECT_EQ(info.encoding, "GSM") << wav;
        EXPECT_EQ(info.rate, 8000) << wav;
        EXPECT_EQ(info.channels, 1) << wav;
        EXPECT_GT(info.seconds, 0.5) << wav;
    }
    const SoxInfo cutInfo = ReadWithSox(exportedWhileRecording);
    EXPECT_GT(cutInfo.seconds, 55.0);
    EXPECT_LT(cutInfo.seconds, 61.0);
}

TEST_F(EndToEnd, AServiceThatNeverAnswersHoldsUpNeitherTheWindowNorTheRecording) {
    // The start-up check's request is accepted and never answered.
    TestHttpServer service;
    service.SetDefault({TestHttpServer::Hang()});
    const auto launched = Clock::now();
    ChildProcess& p = Launch({{"ZT_UPDATE_BASE_URL", service.Url("/")}});
    // Automatic recording begins one second after start; the check would
    // give up only after 15 s.
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const std::string& name : Recordings())
                if (IsProvisionalName(name)) return true;
            return false;
        },
        std::chrono::seconds(10)))
        << p.Output();
    EXPECT_LT(Clock::now() - launched, std::chrono::seconds(5)) << "recording waited for the check";
    ASSERT_EQ(service.Connections(), 1);
    EXPECT_EQ(service.Received()[0].substr(0, service.Received()[0].find("\r\n")),
              "GET /adm/versao.asp?versao=&produto=ZELTATRESONA&guid= HTTP/1.1");
    Terminate(p);
    EXPECT_TRUE(DialogRecords(DialogLog()).empty());
}

// The update offered at start-up, accepted, and installed into the
// program's own folder by the real program (built to trust the tests' key).
class UpdateEndToEnd : public EndToEnd {
protected:
    UpdateEndToEnd() {
        fs::remove(program_);
        fs::copy_file(ZT_TESTKEY_PROGRAM_PATH, program_);
        fs::permissions(program_, fs::perms(0755));
        fs::create_directories(folder_.file("lang"));
        service_.SetRouter([this](const std::string& head) {
            const std::string line = head.substr(0, head.find("\r\n"));
            auto ok = [](const std::string& body) {
                return TestHttpServer::Script{TestHttpServer::Send(HttpReply("200 OK", "", body))};
            };
            const std::string archive = "/adm/atualiza/ZELTATRESONA/a2012.06.01.3.zip";
            if (line.find("/adm/versao.asp?") != std::string::npos) return ok("a2012.06.01.3.zip");
            if (line.rfind("GET " + archive + ".minisig ", 0) == 0)
                return signature_.empty() ? TestHttpServer::Script{TestHttpServer::Send(
                                                HttpReply("404 Not Found", "", ""))}
                                          : ok(signature_);
            if (line.rfind("GET " + archive + " ", 0) == 0) return ok(archive_);
            return ok("");
        });
        test::WriteZip(work_.file("a2012.06.01.3.zip"),
                       {{"ZeltaTresona", "#!/bin/sh\necho new build\n", 0100644},
                        {"lang/x.txt", "texto", 0100644}});
        archive_ = ReadFileBytes(work_.file("a2012.06.01.3.zip"));
    }

    void Sign() {
        RunMinisign("-S -s " + ShellQuoted(ZT_TESTKEY_SECRET) + " -x " +
                    ShellQuoted(work_.file("sig")) + " -m " +
                    ShellQuoted(work_.file("a2012.06.01.3.zip")));
        signature_ = ReadFileBytes(work_.file("sig"));
    }

    // Runs the program until the update window has closed.
    std::vector<std::string> RunUpdate() {
        ChildProcess& p =
            Launch({{"ZT_UPDATE_BASE_URL", service_.Url("/")}, {"ZT_DIALOG_ANSWER", "Yes"}});
        // The question, then the outcome's message.
        EXPECT_TRUE(WaitFor([&] { return DialogRecords(DialogLog()).size() >= 2; },
                            std::chrono::seconds(30)))
            << p.Output();
        Terminate(p);
        return DialogRecords(DialogLog());
    }

    TestHttpServer service_;
    TempDir work_;
    std::string archive_, signature_;
};

TEST_F(UpdateEndToEnd, ASignedUpdateReplacesTheRunningProgramAndRecordsItsVersion) {
    Sign();
    const std::string original = ReadFileBytes(program_);
    const std::vector<std::string> records = RunUpdate();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], "Question\tHá uma nova atualização disponível. Deseja atualizar agora?");
    EXPECT_EQ(records[1],
              "Information\tAtualização concluída com sucesso.\r\rReinicie o sistema para que as "
              "atualizações tenham efeito.");
    EXPECT_EQ(ReadFileBytes(folder_.file("ZeltaTresona-old")), original);
    EXPECT_EQ(ReadFileBytes(program_), "#!/bin/sh\necho new build\n");
    EXPECT_EQ(::access(program_.c_str(), X_OK), 0) << "the new program stays executable";
    EXPECT_EQ(ReadFileBytes(folder_.file("lang/x.txt")), "texto");
    EXPECT_NE(ReadFileBytes(folder_.file("cfg.ini")).find("sVersao=2012.06.01.3"),
              std::string::npos);
    EXPECT_TRUE(fs::is_empty(folder_.file("atualizacoes")));
}

TEST_F(UpdateEndToEnd, AnUnsignedUpdateChangesNothing) {
    const std::string original = ReadFileBytes(program_);
    const std::vector<std::string> records = RunUpdate();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1],
              "Information\tNão foi possível efetuar a atualização\r\rA atualização não está "
              "assinada pelo fabricante");
    EXPECT_EQ(ReadFileBytes(program_), original);
    EXPECT_FALSE(fs::exists(folder_.file("ZeltaTresona-old")));
    EXPECT_FALSE(fs::exists(folder_.file("lang/x.txt")));
    EXPECT_EQ(ReadFileBytes(folder_.file("cfg.ini")).find("sVersao=2012"), std::string::npos);
}

// The real program with a sound card that has a mixer (the fake card as
// ALSA's default): what cfg.ini says reaches the card at start-up.
class EndToEndWithCard : public EndToEnd {
protected:
    EndToEndWithCard() : EndToEnd({CardWithSweep()}) {}
    static AlsaFixturePcm CardWithSweep() {
        AlsaFixturePcm pcm = CardPcm("zt_capture", AlsaCardVariant::Full, "Fake Card");
        pcm.bytes = AsBytes(Sweep(44100, 2, 4.0));
        return pcm;
    }
};

TEST_F(EndToEndWithCard, TheSavedInputIsSelectedOnTheCardAtStartUp) {
    // The card starts on "Mic"; input 1 of the list (CD, Line, Mic) is Line.
    ASSERT_EQ(fx_.SetCardValue("zt_capture", "Input Source", {1}), 0);
    WriteSettings(folder_.dir(), {{"Controle", "1"}});
    ChildProcess& p = Launch();
    ASSERT_FALSE(WaitForProvisional(p).empty());
    EXPECT_EQ(fx_.CardState("zt_capture")["Input Source"], std::vector<long>{0}) << p.Output();
    Terminate(p);
    EXPECT_TRUE(DialogRecords(DialogLog()).empty());
}

TEST_F(EndToEndWithCard, ACardUnpluggedSinceTheLastRunRecordsFromDefaultWithOneWarning) {
    WriteSettings(folder_.dir(), {{"Placa", "3"}});
    ChildProcess& p = Launch();
    ASSERT_FALSE(WaitForProvisional(p).empty());
    Terminate(p);
    const std::vector<std::string> records = DialogRecords(DialogLog());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].rfind("Warning\tA placa de som 3 ", 0), 0u) << records[0];
    EXPECT_NE(records[0].find("\"Default\""), std::string::npos) << records[0];
    // The saved input was applied on the card in use all the same.
    EXPECT_EQ(fx_.CardState("zt_capture")["Input Source"], std::vector<long>{2});
    const std::vector<std::string> files = Recordings();
    ASSERT_EQ(files.size(), 1u);
    ExpectDecodes(Audio() + "/" + files[0], 0.2, 60.0);
}

}  // namespace
}  // namespace zt::test
